#include "job/uDM_Danfe.h"

namespace corvexa::job {

// The layouts are to be built here once they exist:
//     layouts = layouts::CriarLayouts(flags);
TDM_Danfe::TDM_Danfe() = default;

TDM_Danfe::~TDM_Danfe() = default;

}  // namespace corvexa::job
