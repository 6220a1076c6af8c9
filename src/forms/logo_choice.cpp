#include "forms/logo_choice.h"

#include <algorithm>

#include "artwork/logo.h"
#include "forms/twips.h"

namespace tamsrove::logo_choice {

int32_t LogoDpi(int32_t dpi) noexcept {
    return std::clamp(UsableDpi(dpi), artwork::kMinDrawableDpi, artwork::kMaxDrawableDpi);
}

} // namespace tamsrove::logo_choice
