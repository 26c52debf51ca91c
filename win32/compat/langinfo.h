/* The few POSIX locale queries the report formats make (thousands, date and
 * time separators of the user's locale), answered from the user's Windows
 * locale settings. Found before the system headers in the Windows build only. */
#ifndef CORVEXA_WIN32_LANGINFO_H
#define CORVEXA_WIN32_LANGINFO_H

#include <windows.h>
#include <locale.h>

typedef void* locale_t;
typedef int nl_item;

#define LC_NUMERIC_MASK 1
#define LC_TIME_MASK 2
#define THOUSEP LOCALE_STHOUSAND
#define D_FMT LOCALE_SSHORTDATE
#define T_FMT LOCALE_STIMEFORMAT

/* Only the user's own locale ("") is asked for. */
static inline locale_t newlocale(int mascara, const char* nome, locale_t base) {
    (void)base;
    return (nome && !*nome) ? (locale_t)(INT_PTR)mascara : (locale_t)0;
}
static inline void freelocale(locale_t loc) { (void)loc; }

/* The text of the setting in the ANSI code page; valid until the next call
 * on this thread. */
static inline char* nl_langinfo_l(nl_item item, locale_t loc) {
    static __thread char texto[96];
    (void)loc;
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, (LCTYPE)item, texto, (int)sizeof texto) <= 0) texto[0] = '\0';
    return texto;
}

#endif
