/* A C host: the public header compiles as C and the library links and runs. */
#include <stdio.h>
#include <string.h>

#include "corvexa.h"

int main(void) {
    static const char16_t xml[] = u"<nada/>";
    DesignDanfe(0, 0, 0);
    if (strcmp(DanfeUltimoErro(), "DesignDanfe não está disponível através da DLL.") != 0) {
        fprintf(stderr, "DesignDanfe: \"%s\"\n", DanfeUltimoErro());
        return 1;
    }
    PreviewDanfe(xml, "nota.xml", NULL);
    if (DanfeUltimoErro()[0] != '\0') {
        fprintf(stderr, "PreviewDanfe: \"%s\"\n", DanfeUltimoErro());
        return 1;
    }
    return 0;
}
