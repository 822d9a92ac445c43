#include "ComAutomation.h"

#include <windows.h>
#include <oaidl.h>
#include <objbase.h>
#include <oleauto.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <vector>

namespace win {
namespace {

using latebound::Failure;
using latebound::Named;
using latebound::ObjectPtr;
using latebound::Value;

constexpr LCID kLocale = 1033;

std::atomic<int> g_activeThreads{0};

struct ThreadApartment {
    HRESULT result;
    ThreadApartment() : result(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))
    {
        if (SUCCEEDED(result))
            ++g_activeThreads;
    }
    ~ThreadApartment()
    {
        if (SUCCEEDED(result)) {
            CoUninitialize();
            --g_activeThreads;
        }
    }
};

const wchar_t* wide(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

std::u16string fromWide(const wchar_t* s, std::size_t n)
{
    return std::u16string(reinterpret_cast<const char16_t*>(s), n);
}

std::u16string fromBstr(BSTR s) { return s ? fromWide(s, SysStringLen(s)) : std::u16string(); }

// A VARIANT that clears itself.
struct Variant {
    VARIANT v;
    Variant() { VariantInit(&v); }
    ~Variant() { VariantClear(&v); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
};

class ComObject;

void toVariant(const Value& value, VARIANT& out);
Value fromVariant(VARIANT& in);

class ComObject : public latebound::Object {
public:
    // Takes over one reference.
    explicit ComObject(IDispatch* dispatch) : m_dispatch(dispatch) {}
    ~ComObject() override { m_dispatch->Release(); }
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    IDispatch* dispatch() const { return m_dispatch; }

    Value get(std::u16string_view member, std::span<const Value> args) override
    {
        return invoke(member, DISPATCH_PROPERTYGET, args, {}, nullptr);
    }
    void put(std::u16string_view member, const Value& value, std::span<const Value> args) override
    {
        invoke(member, DISPATCH_PROPERTYPUT, args, {}, &value);
    }
    Value call(std::u16string_view member, std::span<const Value> args, std::span<const Named> named) override
    {
        return invoke(member, DISPATCH_METHOD, args, named, nullptr);
    }

private:
    // The member's DISPID followed by those of the named arguments, asked for in one call as
    // the servers expect.
    std::vector<DISPID> ids(std::u16string_view member, std::span<const Named> named)
    {
        if (named.empty()) {
            const auto cached = m_ids.find(std::u16string(member));
            if (cached != m_ids.end())
                return {cached->second};
        }
        std::vector<std::u16string> names{std::u16string(member)};
        for (const Named& n : named)
            names.push_back(n.name);
        std::vector<LPOLESTR> pointers;
        for (std::u16string& n : names)
            pointers.push_back(const_cast<LPOLESTR>(wide(n)));
        std::vector<DISPID> result(names.size(), DISPID_UNKNOWN);
        const HRESULT hr =
            m_dispatch->GetIDsOfNames(IID_NULL, pointers.data(), UINT(pointers.size()), kLocale, result.data());
        if (FAILED(hr))
            throw Failure(hr, systemText(hr) + u" (" + std::u16string(member) + u")");
        if (named.empty())
            m_ids.emplace(std::u16string(member), result[0]);
        return result;
    }

    Value invoke(std::u16string_view member, WORD flags, std::span<const Value> args, std::span<const Named> named,
                 const Value* assigned)
    {
        const std::vector<DISPID> dispids = ids(member, named);
        // DISPPARAMS hold the named arguments first, then the positional ones last to first.
        const std::size_t count = named.size() + args.size() + (assigned ? 1 : 0);
        std::vector<VARIANT> vars(count);
        for (VARIANT& v : vars)
            VariantInit(&v);
        std::vector<DISPID> namedIds;
        std::size_t at = 0;
        if (assigned) {
            toVariant(*assigned, vars[at++]);
            namedIds.push_back(DISPID_PROPERTYPUT);
        }
        for (std::size_t i = 0; i < named.size(); ++i) {
            toVariant(named[i].value, vars[at++]);
            namedIds.push_back(dispids[i + 1]);
        }
        for (std::size_t i = args.size(); i-- > 0;)
            toVariant(args[i], vars[at++]);

        DISPPARAMS params{};
        params.rgvarg = vars.empty() ? nullptr : vars.data();
        params.cArgs = UINT(vars.size());
        params.rgdispidNamedArgs = namedIds.empty() ? nullptr : namedIds.data();
        params.cNamedArgs = UINT(namedIds.size());

        Variant result;
        EXCEPINFO exception{};
        UINT argError = 0;
        const HRESULT hr = m_dispatch->Invoke(dispids[0], IID_NULL, kLocale, flags, &params,
                                              assigned ? nullptr : &result.v, &exception, &argError);
        for (VARIANT& v : vars)
            VariantClear(&v);
        if (hr == DISP_E_EXCEPTION) {
            if (exception.pfnDeferredFillIn)
                exception.pfnDeferredFillIn(&exception);
            std::u16string description = fromBstr(exception.bstrDescription);
            const long code = exception.scode ? exception.scode : hr;
            SysFreeString(exception.bstrDescription);
            SysFreeString(exception.bstrSource);
            SysFreeString(exception.bstrHelpFile);
            throw Failure(code, description.empty() ? systemText(code) : description);
        }
        if (FAILED(hr))
            throw Failure(hr, systemText(hr) + u" (" + std::u16string(member) + u")");
        return fromVariant(result.v);
    }

    IDispatch* m_dispatch;
    std::map<std::u16string, DISPID> m_ids;
};

void toVariant(const Value& value, VARIANT& out)
{
    if (const bool* b = std::get_if<bool>(&value)) {
        out.vt = VT_BOOL;
        out.boolVal = *b ? VARIANT_TRUE : VARIANT_FALSE;
    } else if (const double* d = std::get_if<double>(&value)) {
        out.vt = VT_R8;
        out.dblVal = *d;
    } else if (const std::u16string* s = std::get_if<std::u16string>(&value)) {
        out.vt = VT_BSTR;
        out.bstrVal = SysAllocStringLen(wide(*s), UINT(s->size()));
        if (!out.bstrVal)
            throw Failure(E_OUTOFMEMORY, systemText(E_OUTOFMEMORY));
    } else if (const ObjectPtr* o = std::get_if<ObjectPtr>(&value)) {
        auto* com = dynamic_cast<ComObject*>(o->get());
        if (!com)
            throw Failure(E_INVALIDARG, systemText(E_INVALIDARG));
        out.vt = VT_DISPATCH;
        out.pdispVal = com->dispatch();
        out.pdispVal->AddRef();
    } else {
        out.vt = VT_EMPTY;
    }
}

Value fromVariant(VARIANT& in)
{
    Variant direct;
    VARIANT* v = &in;
    if (in.vt & VT_BYREF) {
        if (FAILED(VariantCopyInd(&direct.v, &in)))
            return std::monostate{};
        v = &direct.v;
    }
    switch (v->vt) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_ERROR: // a cell holding an error value, or an omitted result
        return std::monostate{};
    case VT_BOOL:
        return v->boolVal != VARIANT_FALSE;
    case VT_BSTR:
        return fromBstr(v->bstrVal);
    case VT_DISPATCH:
        if (!v->pdispVal)
            return std::monostate{};
        v->pdispVal->AddRef();
        return ObjectPtr(std::make_shared<ComObject>(v->pdispVal));
    case VT_UNKNOWN: {
        IDispatch* dispatch = nullptr;
        if (v->punkVal && SUCCEEDED(v->punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))))
            return ObjectPtr(std::make_shared<ComObject>(dispatch));
        return std::monostate{};
    }
    default: {
        // Every kind of number (counts come as VT_I4, dates as VT_DATE) arrives as a double.
        Variant number;
        if (SUCCEEDED(VariantChangeTypeEx(&number.v, v, kLocale, 0, VT_R8)))
            return number.v.dblVal;
        return std::monostate{};
    }
    }
}

} // namespace

void ComApartment::enter()
{
    thread_local ThreadApartment apartment;
    (void)apartment;
}

int ComApartment::activeThreads() { return g_activeThreads.load(); }

std::u16string systemText(long code)
{
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, DWORD(code), 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    std::u16string text = n ? fromWide(buffer, n) : std::u16string();
    if (buffer)
        LocalFree(buffer);
    while (!text.empty() && (text.back() == u'\r' || text.back() == u'\n' || text.back() == u' ' || text.back() == u'.'))
        text.pop_back();
    if (text.empty()) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(code));
        for (const char* c = hex; *c; ++c)
            text += char16_t(*c);
    }
    return text;
}

latebound::ObjectPtr ComFactory::create(std::u16string_view identifier)
{
    ComApartment::enter();
    const std::u16string id(identifier);
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(wide(id), &clsid)))
        return nullptr; // not registered: the application is not installed
    IDispatch* dispatch = nullptr;
    const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                        reinterpret_cast<void**>(&dispatch));
    if (FAILED(hr))
        throw Failure(hr, systemText(hr));
    return std::make_shared<ComObject>(dispatch);
}

} // namespace win
