/*
 * Corvexa: the DANFE of Brazilian NF-e invoices, from the invoice's XML.
 *
 * The host loads the library and calls one exported function per DANFE. The
 * XML text is UTF-16 (zero-terminated); file names, paths and e-mail fields
 * are 8-bit texts (UTF-8, or Windows-1252 from older hosts), used byte for
 * byte as paths. A null pointer reads as an empty text.
 *
 * The logo (arquivoLogo) may be a bmp, ico, png or jpg/jpeg file, told by its
 * extension; it stays in the DANFE of later calls that pass no logo. A path
 * where no file exists is reported to the user and the call goes on.
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
 * process-wide state: make one call at a time. A call made while another
 * runs (from another thread) does nothing and fails with "Outra chamada da
 * biblioteca está em andamento; ..."; that refusal is what DanfeUltimoErro()
 * returns on the refused call's thread, while the running call's thread
 * still reads its own outcome.
 */
#ifndef CORVEXA_H
#define CORVEXA_H

#include <stdint.h>
#ifndef __cplusplus
#include <uchar.h>
#endif

#if defined(_WIN32)
   /* The DLL names its exports in a .def file (undecorated, fixed ordinals). */
#  if defined(CORVEXA_CONSTRUINDO) && !defined(CORVEXA_EXPORTA_POR_DEF)
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

/* Prints the DANFE. A "nfeConfig.ini" in the current folder may set, in its
 * section [DANFE], the copies ("Vias"), the printer ("Impressora": then no
 * print dialog is shown) and whether the print time shows ("ImprimeHora"). */
CORVEXA_API void CORVEXA_CALL PrintDanfe(const char16_t* xml, const char* nomeArquivoXml,
                                         const char* arquivoLogo);

/* Shows the DANFE in a preview window, from which it may be printed (with
 * the settings of "nfeConfig.ini", as PrintDanfe), saved as PDF or sent by
 * e-mail. Fails when there is no display. */
CORVEXA_API void CORVEXA_CALL PreviewDanfe(const char16_t* xml, const char* nomeArquivoXml,
                                           const char* arquivoLogo);

/* Exports the DANFE to a folder the user chooses (or the one set with
 * DanfeDefinirPasta), named after nomeArquivoXml with its folder left out and
 * its extension replaced: "/notas/nota.xml" gives "<pasta>/nota.pdf".
 * tipoExportacao 2 gives JPEG at 200 dpi, one file per page ("nota.jpg",
 * "nota-2.jpg", ...); any other value gives PDF. A file is written whole or
 * not at all. When no folder is chosen nothing is exported: the DANFE goes
 * to the preview window when that is still the output in force (no print or
 * export has run in this process, or a preview ran after the last of them),
 * else nowhere. */
CORVEXA_API void CORVEXA_CALL ExportDanfe(const char16_t* xml, const char* nomeArquivoXml,
                                          const char* arquivoLogo, int32_t tipoExportacao);

/* Sends the DANFE by e-mail, through the SMTP server `host` ("host",
 * "host:port", "smtp://..." with STARTTLS when offered, or "smtps://..."),
 * as one message with the attachment NFeDANFE.pdf (the layout the NF-e's
 * print format selects). `destinatarios` lists the recipients, separated by
 * ";" or ","; without one the call fails before anything is sent. `remetente`
 * is the sender and Reply-To; `corpo` may hold several lines; `usuario` and
 * `senha` log in when `usuario` is not empty. A refused login, recipient or
 * message, or an unreachable server, fails the call with the server's reply.
 * nomeArquivoXml does not name the attachment. */
CORVEXA_API void CORVEXA_CALL EmailDanfe(const char16_t* xml, const char* nomeArquivoXml,
                                         const char* arquivoLogo, const char* host,
                                         const char* remetente, const char* destinatarios,
                                         const char* assunto, const char* corpo,
                                         const char* usuario, const char* senha);

/* Not available from the library: always fails. The arguments are not read. */
CORVEXA_API void CORVEXA_CALL DesignDanfe(int32_t a, int32_t b, int32_t c);

/* For hosts without a user at the screen: from now on the folder chooser of
 * ExportDanfe returns `pasta` without showing anything. "" or NULL: the
 * chooser is shown again (without a display, no folder is chosen).
 *
 *     DanfeDefinirPasta("/srv/danfe");
 *     ExportDanfe(xml, "/entrada/nota.xml", "", 1);   -> /srv/danfe/nota.pdf
 */
CORVEXA_API void CORVEXA_CALL DanfeDefinirPasta(const char* pasta);

/* The message of the last exported call's failure (UTF-8), or "" when it
 * succeeded. Never null. */
CORVEXA_API const char* CORVEXA_CALL DanfeUltimoErro(void);

#ifdef __cplusplus
}
#endif

#endif /* CORVEXA_H */
