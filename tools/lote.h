#pragma once
// danfe pdf, jpeg and png: many NF-e files at once, in parallel, each failure
// reported on its own line while the others go on.
#include <string>
#include <vector>

namespace corvexa::cli {

enum class Formato { Pdf, Jpeg, Png };

// Runs the batch subcommand over its arguments (after the subcommand's name):
// 0 when every file was written, 1 when any failed. A wrong command line
// throws ErroDeUso.
int ExecutarLote(Formato formato, const std::vector<std::string>& args);

}  // namespace corvexa::cli
