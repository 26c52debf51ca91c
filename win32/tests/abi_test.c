/* The binary contract of Corvexa.dll, checked from a 32-bit host:
 *
 *   abi_test.exe Corvexa.dll nota.xml PASTA
 *
 * loads the DLL, finds each export by name and by ordinal, calls each one
 * through a harness that measures the stack before and after the call
 * (stdcall: the callee removes its arguments), and exports the invoice to
 * PASTA as PDF and JPEG. PASTA must exist and be empty. Prints one line per
 * check and, last, "N passed, N failed". */
#include <windows.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int aprovados, reprovados;

static void verificar(int ok, const char* o_que, const char* detalhe) {
    if (ok) ++aprovados;
    else ++reprovados;
    printf("%s - %s%s%s\n", ok ? "ok" : "FAIL", o_que, detalhe && *detalhe ? ": " : "", detalhe ? detalhe : "");
}

/* Pushes n 32-bit arguments (right to left), calls f and returns how far the
 * stack pointer moved: 0 for stdcall, -4*n for cdecl. The stack is put back
 * either way. `desalinhar` makes esp % 16 == 8 at the call, as a host may.
 * Everything goes through one block addressed by ebx: the stack pointer
 * moves inside, so no operand may be relative to it. */
struct Chamada {
    void* f;             /* 0 */
    uint32_t n;          /* 4 */
    const uint32_t* a;   /* 8 */
    uint32_t desvio;     /* 12: 0 or 8 */
    int32_t delta;       /* 16 */
    uint32_t eax;        /* 20 */
};

static int chamar(void* f, int n, const uint32_t* a, int desalinhar, uint32_t* retorno) {
    struct Chamada c = {f, (uint32_t)n, a, desalinhar ? 8u : 0u, 0, 0};
    __asm__ volatile(
        "movl %%esp, %%esi\n\t"
        "andl $-16, %%esp\n\t"
        "movl 4(%%ebx), %%ecx\n\t"
        "shll $2, %%ecx\n\t"
        "negl %%ecx\n\t"
        "addl 12(%%ebx), %%ecx\n\t"
        "andl $15, %%ecx\n\t"
        "subl %%ecx, %%esp\n\t"
        "movl 4(%%ebx), %%ecx\n\t"
        "movl 8(%%ebx), %%edx\n\t"
        "1:\n\t"
        "testl %%ecx, %%ecx\n\t"
        "jz 2f\n\t"
        "pushl -4(%%edx,%%ecx,4)\n\t"
        "decl %%ecx\n\t"
        "jmp 1b\n\t"
        "2:\n\t"
        "movl 4(%%ebx), %%ecx\n\t"
        "leal (%%esp,%%ecx,4), %%edi\n\t"
        "call *(%%ebx)\n\t"
        "movl %%eax, 20(%%ebx)\n\t"
        "movl %%esp, %%eax\n\t"
        "subl %%edi, %%eax\n\t"
        "movl %%eax, 16(%%ebx)\n\t"
        "movl %%esi, %%esp\n\t"
        :
        : "b"(&c)
        : "eax", "ecx", "edx", "esi", "edi", "memory", "cc");
    if (retorno) *retorno = c.eax;
    return c.delta;
}

#define U(p) ((uint32_t)(uintptr_t)(p))

static const struct {
    const char* nome;
    int ordinal;
    int argumentos;
} kExportacoes[] = {
    {"EmailDanfe", 1, 10},   {"ExportDanfe", 2, 4},     {"DesignDanfe", 3, 3},       {"PreviewDanfe", 4, 3},
    {"PrintDanfe", 5, 3},    {"DanfeUltimoErro", 6, 0}, {"DanfeDefinirPasta", 7, 1},
};
enum { kNumExportacoes = sizeof kExportacoes / sizeof kExportacoes[0] };

static HMODULE dll;
static void* funcao[kNumExportacoes];

/* The last error text through the export itself (its stack checked too). */
static const char* UltimoErro(void) {
    uint32_t r = 0;
    const int d = chamar(funcao[5], 0, NULL, 0, &r);
    if (d != 0) verificar(0, "DanfeUltimoErro stack", "unbalanced");
    return r ? (const char*)(uintptr_t)r : "(null)";
}

/* Calls export `i` with its arguments and checks the stack. */
static void chamada(int i, const uint32_t* a, const char* rotulo) {
    char detalhe[256];
    int d = chamar(funcao[i], kExportacoes[i].argumentos, a, 1, NULL);
    snprintf(detalhe, sizeof detalhe, "esp moved by %d", d);
    verificar(d == 0, rotulo, d == 0 ? "" : detalhe);
}

static char* LerArquivo(const char* caminho, long* tamanho) {
    FILE* f = fopen(caminho, "rb");
    if (!f) return NULL;
    fseek(f, 0, SEEK_END);
    *tamanho = ftell(f);
    fseek(f, 0, SEEK_SET);
    char* b = malloc((size_t)*tamanho + 1);
    if (b && fread(b, 1, (size_t)*tamanho, f) != (size_t)*tamanho) {
        free(b);
        b = NULL;
    }
    if (b) b[*tamanho] = 0;
    fclose(f);
    return b;
}

static int Comeca(const char* caminho, const char* assinatura, size_t n) {
    long t = 0;
    char* b = LerArquivo(caminho, &t);
    const int ok = b && (size_t)t >= n && memcmp(b, assinatura, n) == 0;
    free(b);
    return ok;
}

/* The export directory of the loaded image: only our seven names, at their
 * ordinals, and no function without a name. */
static void VerificarDiretorioExportacao(void) {
    const BYTE* base = (const BYTE*)dll;
    const IMAGE_NT_HEADERS* nt = (const IMAGE_NT_HEADERS*)(base + ((const IMAGE_DOS_HEADER*)base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY* dir = &nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    const IMAGE_EXPORT_DIRECTORY* e = (const IMAGE_EXPORT_DIRECTORY*)(base + dir->VirtualAddress);
    char detalhe[128];
    snprintf(detalhe, sizeof detalhe, "base %lu, %lu functions, %lu names", (unsigned long)e->Base,
             (unsigned long)e->NumberOfFunctions, (unsigned long)e->NumberOfNames);
    verificar(e->Base == 1 && e->NumberOfFunctions == kNumExportacoes && e->NumberOfNames == kNumExportacoes,
              "export directory holds exactly the seven functions", detalhe);
    const DWORD* nomes = (const DWORD*)(base + e->AddressOfNames);
    const WORD* ordinais = (const WORD*)(base + e->AddressOfNameOrdinals);
    int certos = 0;
    for (DWORD i = 0; i < e->NumberOfNames; ++i) {
        const char* nome = (const char*)(base + nomes[i]);
        for (int k = 0; k < kNumExportacoes; ++k)
            if (strcmp(nome, kExportacoes[k].nome) == 0 && (int)(ordinais[i] + e->Base) == kExportacoes[k].ordinal)
                ++certos;
        if (strchr(nome, '@') || nome[0] == '_') verificar(0, "undecorated export names", nome);
    }
    verificar(certos == kNumExportacoes, "each name at its ordinal in the export directory", "");
    verificar(GetProcAddress(dll, MAKEINTRESOURCEA(kNumExportacoes + 1)) == NULL, "no ordinal after the seventh", "");
}

static int Carregar(const char* caminho) {
    dll = LoadLibraryA(caminho);
    char detalhe[64];
    snprintf(detalhe, sizeof detalhe, "error %lu", (unsigned long)GetLastError());
    verificar(dll != NULL, "LoadLibrary", dll ? "" : detalhe);
    if (!dll) return 0;
    for (int i = 0; i < kNumExportacoes; ++i) {
        void* porNome = (void*)GetProcAddress(dll, kExportacoes[i].nome);
        void* porOrdinal = (void*)GetProcAddress(dll, MAKEINTRESOURCEA(kExportacoes[i].ordinal));
        snprintf(detalhe, sizeof detalhe, "%s by name and by ordinal %d", kExportacoes[i].nome, kExportacoes[i].ordinal);
        verificar(porNome && porNome == porOrdinal, detalhe, "");
        funcao[i] = porNome;
    }
    for (int i = 0; i < kNumExportacoes; ++i)
        if (!funcao[i]) return 0;
    return 1;
}

static int Igual(const char* a, const char* b) { return strcmp(a, b) == 0; }

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: abi_test.exe Corvexa.dll nota.xml PASTA\n");
        return 2;
    }
    setvbuf(stdout, NULL, _IONBF, 0);
    const char* pasta = argv[3];

    /* The harness itself: msvcrt's abs is cdecl, so it leaves its argument. */
    {
        uint32_t a[1] = {(uint32_t)-7}, r = 0;
        void* f = (void*)GetProcAddress(GetModuleHandleA("msvcrt.dll"), "abs");
        const int d = f ? chamar(f, 1, a, 1, &r) : 1;
        verificar(d == -4 && r == 7, "harness measures a cdecl call (delta -4)", "");
    }

    if (!Carregar(argv[1])) goto fim;
    VerificarDiretorioExportacao();

    long tamanho = 0;
    char* utf8 = LerArquivo(argv[2], &tamanho);
    verificar(utf8 != NULL, "sample XML read", argv[2]);
    if (!utf8) goto fim;
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8, (int)tamanho, NULL, 0);
    WCHAR* xml = calloc((size_t)n + 1, sizeof(WCHAR));
    MultiByteToWideChar(CP_UTF8, 0, utf8, (int)tamanho, xml, n);

    /* DesignDanfe: always fails with its message. */
    {
        const uint32_t a[3] = {1, 2, 3};
        chamada(2, a, "DesignDanfe stdcall");
        verificar(Igual(UltimoErro(), "DesignDanfe n\xC3\xA3o est\xC3\xA1 dispon\xC3\xADvel atrav\xC3\xA9s da DLL."),
                  "DesignDanfe fails with its message", UltimoErro());
    }
    /* The export folder for a host without a user. */
    {
        const uint32_t a[1] = {U(pasta)};
        chamada(6, a, "DanfeDefinirPasta stdcall");
        verificar(Igual(UltimoErro(), ""), "DanfeDefinirPasta succeeds", UltimoErro());
    }
    /* ExportDanfe: PDF (types 1, 0, -1) and JPEG (type 2), named after the
     * XML file name without its folder. The arguments' order shows in the
     * file names and kinds. */
    {
        static const struct {
            const char* nomeXml;
            int32_t tipo;
            const char* arquivo;
            const char* assinatura;
        } kCasos[] = {
            {"C:\\notas\\nota.xml", 1, "nota.pdf", "%PDF-"},
            {"tipo0.xml", 0, "tipo0.pdf", "%PDF-"},
            {"D:tipo-1", -1, "tipo-1.pdf", "%PDF-"},
            {"C:\\notas\\nota.xml", 2, "nota.jpg", "\xFF\xD8\xFF"},
        };
        for (size_t i = 0; i < sizeof kCasos / sizeof kCasos[0]; ++i) {
            char rotulo[160], caminho[MAX_PATH];
            const uint32_t a[4] = {U(xml), U(kCasos[i].nomeXml), U(""), (uint32_t)kCasos[i].tipo};
            snprintf(rotulo, sizeof rotulo, "ExportDanfe type %d stdcall", (int)kCasos[i].tipo);
            chamada(1, a, rotulo);
            snprintf(rotulo, sizeof rotulo, "ExportDanfe type %d succeeds", (int)kCasos[i].tipo);
            verificar(Igual(UltimoErro(), ""), rotulo, UltimoErro());
            snprintf(caminho, sizeof caminho, "%s\\%s", pasta, kCasos[i].arquivo);
            snprintf(rotulo, sizeof rotulo, "ExportDanfe type %d writes %s", (int)kCasos[i].tipo, kCasos[i].arquivo);
            verificar(Comeca(caminho, kCasos[i].assinatura, strlen(kCasos[i].assinatura)), rotulo, "");
        }
    }
    /* Logos decoded on Windows: a small bitmap loads; the same bytes named
     * .png are refused (each file is decoded as the kind its extension
     * names) and the call fails with the logo's message. */
    {
        /* 2 x 2, 24 bits, bottom-up rows padded to 4 bytes. */
        static const unsigned char kBmp[] = {
            'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0,
            0, 0, 0, 0, 16, 0, 0, 0, 0x13, 0x0B, 0, 0, 0x13, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
            0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 255, 255, 255, 0, 0};
        char bmp[MAX_PATH], png[MAX_PATH], caminho[MAX_PATH];
        snprintf(bmp, sizeof bmp, "%s\\..\\logo.bmp", pasta);
        snprintf(png, sizeof png, "%s\\..\\logo.png", pasta);
        FILE* f1 = fopen(bmp, "wb");
        FILE* f2 = fopen(png, "wb");
        if (f1) fwrite(kBmp, 1, sizeof kBmp, f1), fclose(f1);
        if (f2) fwrite(kBmp, 1, sizeof kBmp, f2), fclose(f2);
        const uint32_t comLogo[4] = {U(xml), U("logo.xml"), U(bmp), 1};
        chamada(1, comLogo, "ExportDanfe with a logo stdcall");
        snprintf(caminho, sizeof caminho, "%s\\logo.pdf", pasta);
        verificar(Igual(UltimoErro(), "") && Comeca(caminho, "%PDF-", 5), "a BMP logo loads", UltimoErro());
        const uint32_t logoErrado[4] = {U(xml), U("logo-errado.xml"), U(png), 1};
        chamada(1, logoErrado, "ExportDanfe with a mislabelled logo stdcall");
        snprintf(caminho, sizeof caminho, "%s\\logo-errado.pdf", pasta);
        verificar(strstr(UltimoErro(), "logotipo") != NULL && GetFileAttributesA(caminho) == INVALID_FILE_ATTRIBUTES,
                  "BMP bytes named .png fail the call, nothing written", UltimoErro());
    }
    /* Failures come back as text and leave the library usable: a null XML
     * fails at the load of every producing export, before any window. */
    {
        const uint32_t print[3] = {0, U("nota.xml"), 0};
        chamada(4, print, "PrintDanfe stdcall");
        verificar(!Igual(UltimoErro(), ""), "PrintDanfe with no XML fails", UltimoErro());
        chamada(3, print, "PreviewDanfe stdcall");
        verificar(!Igual(UltimoErro(), ""), "PreviewDanfe with no XML fails", UltimoErro());
        const uint32_t email[10] = {U(xml), U("nota.xml"), U(""), U("smtp.exemplo.com.br"), U("nfe@exemplo.com.br"),
                                    0, U("DANFE"), U("Segue o DANFE."), U(""), U("")};
        chamada(0, email, "EmailDanfe stdcall");
        verificar(strstr(UltimoErro(), "destinat") != NULL, "EmailDanfe without recipients fails before sending",
                  UltimoErro());
        const uint32_t exporta[4] = {U(xml), U("depois.xml"), U(""), 1};
        chamada(1, exporta, "ExportDanfe after failures stdcall");
        char caminho[MAX_PATH];
        snprintf(caminho, sizeof caminho, "%s\\depois.pdf", pasta);
        verificar(Igual(UltimoErro(), "") && Comeca(caminho, "%PDF-", 5), "the next call works after failures",
                  UltimoErro());
    }
    /* Unload and load again: detach frees everything, attach starts afresh
     * (the export folder set before is gone). */
    {
        char nome[MAX_PATH];
        GetModuleFileNameA(dll, nome, MAX_PATH);
        verificar(FreeLibrary(dll) && GetModuleHandleA(nome) == NULL, "FreeLibrary unloads the DLL", "");
        if (Carregar(argv[1])) {
            verificar(Igual(UltimoErro(), ""), "no failure recorded after a fresh load", UltimoErro());
            const uint32_t a[1] = {U(pasta)};
            chamada(6, a, "DanfeDefinirPasta after reload stdcall");
            const uint32_t exporta[4] = {U(xml), U("recarga.xml"), U(""), 1};
            chamada(1, exporta, "ExportDanfe after reload stdcall");
            char caminho[MAX_PATH];
            snprintf(caminho, sizeof caminho, "%s\\recarga.pdf", pasta);
            verificar(Igual(UltimoErro(), "") && Comeca(caminho, "%PDF-", 5), "ExportDanfe works after reload",
                      UltimoErro());
            FreeLibrary(dll);
        }
    }
    free(xml);
    free(utf8);
fim:
    printf("%d passed, %d failed\n", aprovados, reprovados);
    return reprovados == 0 ? 0 : 1;
}
