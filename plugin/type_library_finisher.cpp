// Build tool, run under Wine: writes the module's type library from the one widl compiled from
// brawlhue.idl, with the host's IzMUDPlugin added to the coclass BrawlhueClass.
//
// The coclass must list IzMUDPlugin, since a host may find the plug-in class of a DLL by reading
// its type library. widl cannot say so without copying the host's interface into our library
// (and registering our library would then register the host's interface), so widl leaves it
// out. Wine's type library writer can refer into an imported library, but it cannot save a
// library that was loaded from a file, so this tool writes a new one: every type of widl's
// library copied as it is, then the reference to the host's interface. brawlhue.idl stays the
// one declaration of our types.
//
// The tool may run with another word size than the library's (a 64-bit build tool finishes the
// 32-bit library on a machine that runs no 32-bit programs): the library's SYSKIND, not the
// process, decides the vtable offsets it records.
//
// Usage: type_library_finisher WIDL_LIBRARY HOST_LIBRARY STANDARD_LIBRARY OUTPUT
// STANDARD_LIBRARY is the stdole2.tlb that widl imported, of the library's word size.
#include <windows.h>

#include <oaidl.h>
#include <oleauto.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "brawlhue.h"
#include "plugin/com_ref.h"
#include "plugin/unique_bstr.h"
#include "zmud.h"

namespace {

using brawlhue::com::ComRef;
using brawlhue::com::UniqueBstr;

// Ends the program with a message naming the step that failed: a build tool has nobody to
// hand a failure to but the build.
void Check(HRESULT status, const char* step) {
    if (FAILED(status)) {
        std::fprintf(stderr, "type_library_finisher: %s failed: 0x%08lx\n", step,
                     static_cast<unsigned long>(status));
        std::exit(1);
    }
}

template <typename Interface>
ComRef<Interface> Query(IUnknown* object, REFIID id, const char* step) {
    ComRef<Interface> result;
    Check(object->QueryInterface(id, reinterpret_cast<void**>(result.put())), step);
    return result;
}

// One type of widl's library as the new library holds it.
struct CopiedType {
    ComRef<ICreateTypeInfo> editable;
    ComRef<ITypeInfo> readable;
};

class LibraryCopier {
  public:
    LibraryCopier(ITypeLib* source, ICreateTypeLib2* target, SYSKIND system, ITypeLib* standard)
        : source_(source),
          target_(target),
          target_pointer_size_(system == SYS_WIN64 ? 8 : 4),
          standard_(standard) {}

    // Interfaces first: the coclasses refer to them.
    void CopyTypes() {
        const UINT count = source_->GetTypeInfoCount();
        for (const bool coclasses : {false, true}) {
            for (UINT index = 0; index < count; ++index) {
                TYPEKIND kind = TKIND_MAX;
                Check(source_->GetTypeInfoType(index, &kind), "reading a type's kind");
                if ((kind == TKIND_COCLASS) == coclasses) {
                    CopyType(index);
                }
            }
        }
    }

    ICreateTypeInfo* Copied(const GUID& guid) { return copies_.at(Key(guid)).editable.get(); }

    // A reference from type to referred: a type of our own library is referred to as the new
    // library holds it, one of the standard library (IDispatch) as the library's own word size
    // has it, anything else (the host's types) as it stands. The writer takes an interface's
    // vtable size from its base as this process reads it, and reads another word size's sizes
    // unscaled: IDispatch of this process's word size would give a 32-bit interface 8-byte slots.
    HREFTYPE Refer(ICreateTypeInfo* type, ITypeInfo* referred) {
        TYPEATTR* attributes = nullptr;
        Check(referred->GetTypeAttr(&attributes), "reading a referred type");
        const GUID guid = attributes->guid;
        referred->ReleaseTypeAttr(attributes);
        ITypeInfo* target = referred;
        ComRef<ITypeInfo> standard;
        if (const auto own = copies_.find(Key(guid)); own != copies_.end()) {
            target = own->second.readable.get();
        } else if (SUCCEEDED(standard_->GetTypeInfoOfGuid(guid, standard.put()))) {
            target = standard.get();
        }
        HREFTYPE reference = 0;
        Check(type->AddRefTypeInfo(target, &reference), "referring to a type");
        return reference;
    }

  private:
    static std::wstring Key(const GUID& guid) {
        wchar_t text[40] = {};
        ::StringFromGUID2(guid, text, 40);
        return text;
    }

    void CopyType(UINT index) {
        ComRef<ITypeInfo> source;
        Check(source_->GetTypeInfo(index, source.put()), "reading a type");
        BSTR raw_name = nullptr;
        Check(source->GetDocumentation(MEMBERID_NIL, &raw_name, nullptr, nullptr, nullptr),
              "reading a type's name");
        const UniqueBstr name(raw_name);

        // A dual interface is read as its dispatch half; it is written as its vtable half,
        // from which the writer derives the dispatch half again.
        TYPEATTR* attributes = nullptr;
        Check(source->GetTypeAttr(&attributes), "reading a type");
        const bool dual =
            attributes->typekind == TKIND_DISPATCH && (attributes->wTypeFlags & TYPEFLAG_FDUAL);
        source->ReleaseTypeAttr(attributes);
        if (dual) {
            HREFTYPE vtable_reference = 0;
            Check(source->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtable_reference),
                  "finding the vtable half");
            ComRef<ITypeInfo> vtable;
            Check(source->GetRefTypeInfo(vtable_reference, vtable.put()), "reading vtable half");
            source = std::move(vtable);
        }
        Check(source->GetTypeAttr(&attributes), "reading a type");

        CopiedType copy;
        Check(target_->CreateTypeInfo(name.get(), attributes->typekind, copy.editable.put()),
              "creating a type");
        Check(copy.editable->SetGuid(attributes->guid), "setting a type's identifier");
        Check(copy.editable->SetTypeFlags(attributes->wTypeFlags), "setting a type's flags");
        Check(copy.editable->SetVersion(attributes->wMajorVerNum, attributes->wMinorVerNum),
              "setting a type's version");
        // Pointer-aligned as this process reads it is pointer-aligned in the library's terms.
        const WORD alignment = attributes->cbAlignment == sizeof(void*)
                                   ? static_cast<WORD>(target_pointer_size_)
                                   : attributes->cbAlignment;
        Check(copy.editable->SetAlignment(alignment), "setting a type's alignment");
        copy.readable = Query<ITypeInfo>(copy.editable.get(), IID_ITypeInfo, "reading a copy");
        const std::wstring key = Key(attributes->guid);
        const bool coclass = attributes->typekind == TKIND_COCLASS;
        const WORD implemented = attributes->cImplTypes;
        const WORD functions = attributes->cFuncs;
        source->ReleaseTypeAttr(attributes);
        copies_.emplace(key, std::move(copy));
        ICreateTypeInfo* target = copies_.at(key).editable.get();

        for (UINT slot = 0; slot < implemented; ++slot) {
            HREFTYPE reference = 0;
            Check(source->GetRefTypeOfImplType(slot, &reference), "reading an implemented type");
            ComRef<ITypeInfo> referred;
            Check(source->GetRefTypeInfo(reference, referred.put()), "reading a base type");
            Check(target->AddImplType(slot, Refer(target, referred.get())),
                  "adding an implemented type");
            if (coclass) {  // only a coclass's implemented types carry flags
                INT flags = 0;
                Check(source->GetImplTypeFlags(slot, &flags), "reading implementation flags");
                Check(target->SetImplTypeFlags(slot, flags), "setting implementation flags");
            }
        }
        for (UINT function = 0; function < functions; ++function) {
            CopyFunction(source.get(), target, function);
        }
    }

    // The parameter types, with references into widl's library turned into references of the
    // new one. Pointer chains are copied into storage that lives as long as the copier.
    TYPEDESC* Remap(ITypeInfo* source, ICreateTypeInfo* target, const TYPEDESC& type) {
        auto copy = std::make_unique<TYPEDESC>(type);
        if (type.vt == VT_PTR || type.vt == VT_SAFEARRAY) {
            copy->lptdesc = Remap(source, target, *type.lptdesc);
        } else if (type.vt == VT_USERDEFINED) {
            ComRef<ITypeInfo> referred;
            Check(source->GetRefTypeInfo(type.hreftype, referred.put()), "reading a used type");
            copy->hreftype = Refer(target, referred.get());
        }
        types_.push_back(std::move(copy));
        return types_.back().get();
    }

    void CopyFunction(ITypeInfo* source, ICreateTypeInfo* target, UINT index) {
        FUNCDESC* function = nullptr;
        Check(source->GetFuncDesc(index, &function), "reading a function");
        FUNCDESC copy = *function;
        // The reader gives vtable offsets in this process's pointers and the writer keeps the
        // offsets it is given: they are written as the library's own word size has them.
        copy.oVft = static_cast<SHORT>(function->oVft / static_cast<SHORT>(sizeof(void*)) *
                                       target_pointer_size_);
        std::vector<ELEMDESC> parameters(function->lprgelemdescParam,
                                         function->lprgelemdescParam + function->cParams);
        for (ELEMDESC& parameter : parameters) {
            parameter.tdesc = *Remap(source, target, parameter.tdesc);
        }
        copy.lprgelemdescParam = parameters.empty() ? nullptr : parameters.data();
        copy.elemdescFunc.tdesc = *Remap(source, target, function->elemdescFunc.tdesc);
        Check(target->AddFuncDesc(index, &copy), "adding a function");

        std::vector<BSTR> names(function->cParams + 1u);
        UINT named = 0;
        Check(source->GetNames(function->memid, names.data(), static_cast<UINT>(names.size()),
                               &named),
              "reading a function's names");
        const HRESULT status = target->SetFuncAndParamNames(index, names.data(), named);
        for (UINT name = 0; name < named; ++name) {
            ::SysFreeString(names[name]);
        }
        Check(status, "naming a function");
        source->ReleaseFuncDesc(function);
    }

    ITypeLib* source_;
    ICreateTypeLib2* target_;
    SHORT target_pointer_size_;
    ITypeLib* standard_;
    std::map<std::wstring, CopiedType> copies_;
    std::vector<std::unique_ptr<TYPEDESC>> types_;
};

void Finish(const wchar_t* widl_path, const wchar_t* host_path, const wchar_t* standard_path,
            const wchar_t* output_path) {
    ComRef<ITypeLib> source;
    Check(::LoadTypeLibEx(widl_path, REGKIND_NONE, source.put()), "loading widl's library");
    TLIBATTR* library = nullptr;
    Check(source->GetLibAttr(&library), "reading the library");
    BSTR raw_name = nullptr;
    Check(source->GetDocumentation(-1, &raw_name, nullptr, nullptr, nullptr),
          "reading the library's name");
    const UniqueBstr name(raw_name);

    ComRef<ICreateTypeLib2> target;
    Check(::CreateTypeLib2(library->syskind, output_path, target.put()), "creating the library");
    Check(target->SetName(name.get()), "naming the library");
    Check(target->SetGuid(library->guid), "setting the library's identifier");
    Check(target->SetLcid(library->lcid), "setting the library's locale");
    Check(target->SetVersion(library->wMajorVerNum, library->wMinorVerNum),
          "setting the library's version");
    Check(target->SetLibFlags(library->wLibFlags), "setting the library's flags");
    const SYSKIND system = library->syskind;
    source->ReleaseTLibAttr(library);

    ComRef<ITypeLib> standard;
    Check(::LoadTypeLibEx(standard_path, REGKIND_NONE, standard.put()),
          "loading the standard library");
    LibraryCopier copier(source.get(), target.get(), system, standard.get());
    copier.CopyTypes();

    ComRef<ITypeLib> host;
    Check(::LoadTypeLibEx(host_path, REGKIND_NONE, host.put()), "loading the host's library");
    ComRef<ITypeInfo> plugin_interface;
    Check(host->GetTypeInfoOfGuid(IID_IzMUDPlugin, plugin_interface.put()), "finding IzMUDPlugin");
    ICreateTypeInfo* coclass = copier.Copied(CLSID_BrawlhueClass);
    const UINT slot = 1;  // after the default interface
    Check(coclass->AddImplType(slot, copier.Refer(coclass, plugin_interface.get())),
          "adding IzMUDPlugin to BrawlhueClass");
    Check(coclass->SetImplTypeFlags(slot, 0), "flagging IzMUDPlugin");

    Check(target->SaveAllChanges(), "saving the library");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 5) {
        std::fputs("usage: type_library_finisher WIDL_LIBRARY HOST_LIBRARY STANDARD_LIBRARY "
                   "OUTPUT\n",
                   stderr);
        return 2;
    }
    Check(::CoInitialize(nullptr), "starting COM");
    Finish(argv[1], argv[2], argv[3], argv[4]);
    ::CoUninitialize();
    return 0;
}
