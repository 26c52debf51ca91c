#pragma once
// The recipient list of an e-mail as hosts write it.
#include <string_view>
#include <vector>

namespace corvexa::platform {

// Splits a list such as `a@x.com; "Compras; Matriz" <b@x.com>, Silva, Ana <c@x.com>`
// into its recipients, trimmed, as written. Recipients are separated by ";"
// or ","; a separator inside quotes or angle brackets belongs to the name or
// the address, and a name written with a comma but without quotes stays
// whole: a part with no address joins the next one when that one ends in
// <address>. Empty parts are left out.
std::vector<std::string_view> SepararDestinatarios(std::string_view lista);

}  // namespace corvexa::platform
