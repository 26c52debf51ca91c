/* A C host built against corvexa.h and the import library libCorvexa.dll.a:
 * the decorated stdcall names of the header must bind to the DLL's exports.
 * Prints "N passed, N failed". */
#include <stdio.h>
#include <string.h>

#include "corvexa.h"

int main(void) {
    int aprovados = 0, reprovados = 0;
    DesignDanfe(1, 2, 3);
    const char* erro = DanfeUltimoErro();
    const int ok = erro && strstr(erro, "DesignDanfe") != NULL;
    printf("%s - DesignDanfe through the import library: %s\n", ok ? "ok" : "FAIL", erro ? erro : "(null)");
    ok ? ++aprovados : ++reprovados;
    DanfeDefinirPasta("C:\\");
    const int limpo = DanfeUltimoErro()[0] == '\0';
    printf("%s - DanfeDefinirPasta clears the failure\n", limpo ? "ok" : "FAIL");
    limpo ? ++aprovados : ++reprovados;
    printf("%d passed, %d failed\n", aprovados, reprovados);
    return reprovados == 0 ? 0 : 1;
}
