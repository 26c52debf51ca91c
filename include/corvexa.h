/*
 * Corvexa: the DANFE of Brazilian NF-e invoices, from the invoice's XML.
 *
 * The host loads the library and calls one exported function per DANFE. The
 * XML text is UTF-16 (zero-terminated); file names, paths and e-mail fields
 * are 8-bit texts (UTF-8, or Windows-1252 from older hosts), used byte for
 * byte as paths. A null pointer reads as an empty text.
 *
 * Failures: the functions return nothing and never let an exception out.
 * Each call records its outcome; DanfeUltimoErro() then returns the failure's
 * message (UTF-8), or "" when the call succeeded:
 *
 *     PreviewDanfe(xml, "nota.xml", "/opt/erp/logo.bmp");
 *     const char* erro = DanfeUltimoErro();
 *     if (erro[0] != '\0')
 *         fprintf(stderr, "DANFE: %s\n", erro);
 *
 * The text stays valid until the next exported call. The library keeps
 * process-wide state: make one call at a time.
 */
#ifndef CORVEXA_H
#define CORVEXA_H

#include <stdint.h>
#ifndef __cplusplus
#include <uchar.h>
#endif

#if defined(_WIN32)
#  if defined(CORVEXA_CONSTRUINDO)
#    define CORVEXA_API __declspec(dllexport)
#  else
#    define CORVEXA_API
#  endif
#else
#  define CORVEXA_API __attribute__((visibility("default")))
#endif

/* stdcall on 32-bit x86, where hosts of the original library expect it. */
#if defined(_M_IX86) || defined(__i386__)
#  if defined(_MSC_VER) || defined(__MINGW32__)
#    define CORVEXA_CALL __stdcall
#  else
#    define CORVEXA_CALL __attribute__((__stdcall__))
#  endif
#else
#  define CORVEXA_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Prints the DANFE. */
CORVEXA_API void CORVEXA_CALL PrintDanfe(const char16_t* xml, const char* nomeArquivoXml,
                                         const char* arquivoLogo);

/* Shows the DANFE in a preview window. */
CORVEXA_API void CORVEXA_CALL PreviewDanfe(const char16_t* xml, const char* nomeArquivoXml,
                                           const char* arquivoLogo);

/* Exports the DANFE to a folder the user chooses, named after nomeArquivoXml:
 * tipoExportacao 2 gives JPEG, any other value PDF. */
CORVEXA_API void CORVEXA_CALL ExportDanfe(const char16_t* xml, const char* nomeArquivoXml,
                                          const char* arquivoLogo, int32_t tipoExportacao);

/* Sends the DANFE by e-mail as the attachment NFeDANFE.pdf. `naoUsado` is
 * accepted and not read; nomeArquivoXml does not name the attachment. */
CORVEXA_API void CORVEXA_CALL EmailDanfe(const char16_t* xml, const char* nomeArquivoXml,
                                         const char* arquivoLogo, const char* host,
                                         const char* remetente, const char* naoUsado,
                                         const char* assunto, const char* corpo,
                                         const char* usuario, const char* senha);

/* Not available from the library: always fails. The arguments are not read. */
CORVEXA_API void CORVEXA_CALL DesignDanfe(int32_t a, int32_t b, int32_t c);

/* The message of the last exported call's failure (UTF-8), or "" when it
 * succeeded. Never null. */
CORVEXA_API const char* CORVEXA_CALL DanfeUltimoErro(void);

#ifdef __cplusplus
}
#endif

#endif /* CORVEXA_H */
