/* A C host: the public header compiles as C and the library links and runs. */
#define _POSIX_C_SOURCE 200809L
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "corvexa.h"

int main(void) {
    static const char16_t xml[] = u"<nada/>";
    char pasta[] = "/tmp/corvexa-c-XXXXXX";
    char pdf[64];
    int ok;

    DesignDanfe(0, 0, 0);
    if (strcmp(DanfeUltimoErro(), "DesignDanfe não está disponível através da DLL.") != 0) {
        fprintf(stderr, "DesignDanfe: \"%s\"\n", DanfeUltimoErro());
        return 1;
    }
    if (!mkdtemp(pasta)) return 1;
    DanfeDefinirPasta(pasta);
    ExportDanfe(xml, "nota.xml", NULL, 1);
    snprintf(pdf, sizeof pdf, "%s/nota.pdf", pasta);
    ok = DanfeUltimoErro()[0] == '\0' && access(pdf, F_OK) == 0;
    if (!ok) fprintf(stderr, "ExportDanfe: \"%s\"\n", DanfeUltimoErro());
    remove(pdf);
    rmdir(pasta);
    return ok ? 0 : 1;
}
