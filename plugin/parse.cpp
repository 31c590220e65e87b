// Parse: the host's call for every received line, answered by the line filter.
#include <cstdint>
#include <limits>
#include <optional>

#include "filter/line_filter.h"
#include "plugin/brawlhue_class.h"
#include "plugin/com_guard.h"
#include "plugin/unique_bstr.h"

namespace brawlhue {

// The session handle and the prompt flag play no part, and the line is never gagged: DoGag is
// neither read nor written.
HRESULT BrawlhueClass::Parse(LONG, BSTR* P, VARIANT_BOOL, LONG*, VARIANT_BOOL* DoUpdate) noexcept {
    return com::GuardedCall([&] {
        if (P == nullptr || DoUpdate == nullptr) {
            return E_POINTER;
        }
        const std::optional<RebuiltLine> rebuilt =
            FilterLine(com::TextOf(*P), Enabled, ChosenAppearance);
        if (!rebuilt) {
            *DoUpdate = VARIANT_FALSE;
            return S_OK;
        }
        const std::size_t length = rebuilt->size();
        if (length > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
            return DISP_E_OVERFLOW;
        }
        // Built once, in the text the host receives; P is replaced whole or not at all.
        com::UniqueBstr line = com::UniqueBstr::Allocate(length);
        rebuilt->CopyTo(line.data());
        ::SysFreeString(*P);
        *P = line.release();
        *DoUpdate = VARIANT_TRUE;
        return S_OK;
    });
}

}  // namespace brawlhue
