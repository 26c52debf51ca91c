#include "base/memoria.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace corvexa;

// A freed block is handed out again for a request of its size class, and
// what is kept never passes the cap, however much one document took.
TEST(Memoria, ReusaBlocosSemPassarDoLimite) {
    if (!memoria::kRecicla) GTEST_SKIP() << "sob sanitizador, tudo vai ao heap";
    std::pmr::memory_resource* r = memoria::Documentos();
    memoria::Liberar();
    void* a = r->allocate(100 * 1024);
    std::memset(a, 1, 100 * 1024);
    r->deallocate(a, 100 * 1024);
    EXPECT_EQ(memoria::Guardados(), size_t{128} << 10);
    void* b = r->allocate(120 * 1024);  // same class: 128 KiB
    EXPECT_EQ(b, a);
    EXPECT_EQ(memoria::Guardados(), 0u);
    r->deallocate(b, 120 * 1024);

    std::vector<void*> muitos;
    for (int i = 0; i < 48; ++i) muitos.push_back(r->allocate(size_t{1} << 20));
    for (void* p : muitos) r->deallocate(p, size_t{1} << 20);
    EXPECT_LE(memoria::Guardados(), memoria::kMaximoGuardado);
    EXPECT_GT(memoria::Guardados(), memoria::kMaximoGuardado / 2);

    // Outside the classes: the ordinary heap, both ways.
    for (size_t n : {size_t{16}, size_t{65535}, (size_t{64} << 20) + 1}) {
        void* p = r->allocate(n);
        std::memset(p, 2, n);
        r->deallocate(p, n);
    }
    memoria::Liberar();
    EXPECT_EQ(memoria::Guardados(), 0u);
}
