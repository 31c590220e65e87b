#include "plugin/type_libraries.h"

#include <string>

#include "plugin/com_guard.h"
#include "plugin/module.h"
#include "zmud.h"

namespace brawlhue::com {

HRESULT LoadOwnTypeLibrary(ITypeLib** library) noexcept {
    return GuardedCall([&] {
        const std::wstring path = module::Path();
        return ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, library);
    });
}

HRESULT LoadHostTypeLibrary(ITypeLib** library) noexcept {
    return ::LoadRegTypeLib(LIBID_Zmud, 1, 0, LOCALE_NEUTRAL, library);
}

}  // namespace brawlhue::com
