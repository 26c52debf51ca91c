#pragma once
// The emitter's logo file as a picture for the layouts.
#include <memory>
#include <string>
#include <string_view>

#include "base/limites.h"
#include "report/pagina.h"

namespace corvexa::job {

// Pictures wider or taller than this, or of more pixels than
// limites::kPixelsLogo, are refused: no logo needs them, and a forged header
// must not make us reserve gigabytes.
inline constexpr int kMaiorLadoLogo = limites::kLadoLogo;

// Decodes the file at `caminho` with the decoder of `tipo` ("bmp", "ico",
// "png" or "jpeg") only, whatever the bytes claim to be, into premultiplied
// ARGB. Fails with "Arquivo do logotipo inválido: <caminho> (<motivo>)" for
// a file that is not such a picture, is no regular file, or is too large.
// `caminho` is used byte for byte; the message shows it in UTF-8.
std::shared_ptr<const report::Imagem> CarregarImagemLogo(const std::string& caminho, std::string_view tipo);

// The same for picture bytes in memory; `nome` stands for the path in the
// message ("Arquivo do logotipo inválido: <nome> (<motivo>)").
std::shared_ptr<const report::Imagem> DecodificarImagemLogo(std::string_view bytes, std::string_view tipo,
                                                            std::string_view nome);

}  // namespace corvexa::job
