// The host's type library ("Zmud"), which answers the IDispatch members of the stand-in's objects.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include "plugin/com_ref.h"

namespace brawlhue::host {

// The library from this module's own TYPELIB resource, else the registered one; null when
// neither can be had, and the objects' IDispatch members then answer E_NOTIMPL.
com::ComRef<ITypeLib> LoadHostTypeLibrary();

}  // namespace brawlhue::host
