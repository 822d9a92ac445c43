#include "Dispatch.h"

#include <new>

namespace sheets {

std::atomic<long> liveObjects{0};
std::atomic<unsigned long> lastLcid{0};

namespace {

// Lets Object::ours recognise the server's own objects among the IDispatch pointers it is given.
const IID kOwnObject = {0x1680bfc3, 0x771a, 0x4d1c, {0xb7, 0x56, 0x60, 0x87, 0x64, 0x25, 0x85, 0xf0}};

const wchar_t kSource[] = L"Varnok.TestSheets";

HRESULT STDMETHODCALLTYPE fillDeferred(EXCEPINFO* excep)
{
    if (!excep)
        return E_POINTER;
    if (!excep->bstrDescription) {
        excep->bstrDescription = SysAllocString(L"延迟填写的错误说明");
        if (!excep->bstrDescription)
            return E_OUTOFMEMORY;
    }
    excep->pfnDeferredFillIn = nullptr;
    return S_OK;
}

HRESULT raise(EXCEPINFO* excep, const Failure& failure)
{
    if (excep) {
        *excep = EXCEPINFO{};
        excep->bstrSource = SysAllocString(kSource);
        excep->scode = E_FAIL;
        if (failure.deferred)
            excep->pfnDeferredFillIn = fillDeferred;
        else
            excep->bstrDescription = SysAllocStringLen(failure.description.data(), static_cast<UINT>(failure.description.size()));
    }
    return DISP_E_EXCEPTION;
}

// Whether a value is passed for an optional parameter that was left out.
bool omitted(const VARIANT& v)
{
    return v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND;
}

} // namespace

void Args::set(unsigned param, UINT index, VARIANT* value)
{
    // Arguments passed by reference arrive as VT_BYREF|VT_VARIANT pointing at the real one.
    for (int depth = 0; value->vt == (VT_BYREF | VT_VARIANT); ++depth) {
        if (!value->pvarVal || depth == 8)
            throw ArgError{DISP_E_TYPEMISMATCH, static_cast<int>(index)};
        value = value->pvarVal;
    }
    where_[param] = static_cast<int>(index);
    values_[param] = omitted(*value) ? nullptr : value;
}

Args Args::forCall(const Member& member, const DISPPARAMS& params)
{
    const unsigned count = member.paramCount();
    Args args(count);
    // rgvarg holds the named arguments first, then the positional ones last to first.
    const unsigned positional = params.cArgs - params.cNamedArgs;
    if (positional > count)
        throw ArgError{DISP_E_BADPARAMCOUNT};
    for (unsigned k = 0; k < positional; ++k)
        args.set(k, params.cArgs - 1 - k, &params.rgvarg[params.cArgs - 1 - k]);
    for (unsigned j = 0; j < params.cNamedArgs; ++j) {
        const DISPID id = params.rgdispidNamedArgs[j];
        if (id < 0 || static_cast<unsigned>(id) >= count || args.where_[id] >= 0)
            throw ArgError{DISP_E_PARAMNOTFOUND, static_cast<int>(j)};
        args.set(id, j, &params.rgvarg[j]);
    }
    for (unsigned i = 0; i < member.required; ++i) {
        if (args.where_[i] < 0)
            throw ArgError{DISP_E_BADPARAMCOUNT};
        if (!args.values_[i])
            throw ArgError{DISP_E_PARAMNOTFOUND, args.where_[i]};
    }
    return args;
}

Args Args::forPut(const DISPPARAMS& params)
{
    if (params.cNamedArgs != 1 || params.rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
        throw ArgError{DISP_E_PARAMNOTFOUND};
    if (params.cArgs != 1)
        throw ArgError{DISP_E_BADPARAMCOUNT};
    Args args(1);
    args.set(0, 0, &params.rgvarg[0]);
    if (!args.values_[0])
        throw ArgError{DISP_E_PARAMNOTFOUND, 0};
    return args;
}

void Args::mismatch(unsigned i) const
{
    throw ArgError{DISP_E_TYPEMISMATCH, i < where_.size() ? where_[i] : -1};
}

double Args::number(unsigned i) const
{
    const VARIANT* v = at(i);
    if (!v)
        mismatch(i);
    switch (v->vt) {
    case VT_R8: return v->dblVal;
    case VT_I4: return v->lVal;
    case VT_I2: return v->iVal;
    default: mismatch(i);
    }
}

std::wstring Args::text(unsigned i) const
{
    const VARIANT* v = at(i);
    if (!v || v->vt != VT_BSTR)
        mismatch(i);
    return v->bstrVal ? std::wstring(v->bstrVal, SysStringLen(v->bstrVal)) : std::wstring();
}

bool Args::boolean(unsigned i) const
{
    const VARIANT* v = at(i);
    if (!v || v->vt != VT_BOOL)
        mismatch(i);
    return v->boolVal != VARIANT_FALSE;
}

IDispatch* Args::object(unsigned i) const
{
    const VARIANT* v = at(i);
    if (!v || v->vt != VT_DISPATCH)
        mismatch(i);
    return v->pdispVal;
}

Object::Object()
{
    ++liveObjects;
}

Object::~Object()
{
    --liveObjects;
}

HRESULT Object::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == kOwnObject) {
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG Object::AddRef()
{
    return ++refs_;
}

ULONG Object::Release()
{
    const ULONG left = --refs_;
    if (left == 0)
        delete this;
    return left;
}

HRESULT Object::GetTypeInfoCount(UINT* count)
{
    if (!count)
        return E_INVALIDARG;
    *count = 0;
    return S_OK;
}

HRESULT Object::GetTypeInfo(UINT, LCID, ITypeInfo** info)
{
    if (info)
        *info = nullptr;
    return E_NOTIMPL;
}

HRESULT Object::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids)
{
    lastLcid = lcid;
    if (riid != IID_NULL)
        return DISP_E_UNKNOWNINTERFACE;
    if (count == 0)
        return S_OK;
    if (!names || !ids)
        return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i)
        ids[i] = DISPID_UNKNOWN;
    const Member* member = nullptr;
    try {
        if (names[0])
            for (const Member& m : members())
                if (sameName(m.name, names[0]))
                    member = &m;
        if (!member)
            return DISP_E_UNKNOWNNAME;
        ids[0] = member->id;
        HRESULT hr = S_OK;
        for (UINT i = 1; i < count; ++i) {
            for (unsigned p = 0; p < member->paramCount(); ++p)
                if (names[i] && sameName(member->params[p], names[i]))
                    ids[i] = static_cast<DISPID>(p);
            if (ids[i] == DISPID_UNKNOWN)
                hr = DISP_E_UNKNOWNNAME;
        }
        return hr;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT Object::Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                       EXCEPINFO* excep, UINT* argErr)
{
    lastLcid = lcid;
    if (result)
        VariantInit(result);
    if (riid != IID_NULL)
        return DISP_E_UNKNOWNINTERFACE;
    const Member* member = nullptr;
    for (const Member& m : members())
        if (m.id == id)
            member = &m;
    if (!member)
        return DISP_E_MEMBERNOTFOUND;

    DISPPARAMS none{};
    if (!params)
        params = &none;
    if (params->cNamedArgs > params->cArgs || (params->cArgs && !params->rgvarg) || (params->cNamedArgs && !params->rgdispidNamedArgs))
        return E_INVALIDARG;

    // Properties may also be read as methods and methods called as properties, as Excel allows;
    // callers commonly pass DISPATCH_METHOD | DISPATCH_PROPERTYGET.
    const bool putting = (flags & DISPATCH_PROPERTYPUT) != 0;
    if (putting ? member->kind != Kind::GetPut : (flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) == 0)
        return DISP_E_MEMBERNOTFOUND;

    VARIANT value;
    VariantInit(&value);
    try {
        if (putting)
            put(*member, Args::forPut(*params));
        else
            get(*member, Args::forCall(*member, *params), value);
    } catch (const ArgError& e) {
        VariantClear(&value);
        if (argErr && e.argIndex >= 0)
            *argErr = static_cast<UINT>(e.argIndex);
        return e.hr;
    } catch (const Failure& failure) {
        VariantClear(&value);
        return raise(excep, failure);
    } catch (const std::bad_alloc&) {
        VariantClear(&value);
        return E_OUTOFMEMORY;
    } catch (...) {
        VariantClear(&value);
        return E_UNEXPECTED;
    }
    if (result)
        *result = value;
    else
        VariantClear(&value);
    return S_OK;
}

void Object::put(const Member&, const Args&)
{
    throw ArgError{DISP_E_MEMBERNOTFOUND};
}

Object* Object::ours(IDispatch* object)
{
    void* own = nullptr;
    if (!object || FAILED(object->QueryInterface(kOwnObject, &own)) || !own)
        return nullptr;
    Object* found = static_cast<Object*>(static_cast<IDispatch*>(own));
    found->Release();
    return found;
}

void giveObject(VARIANT& result, Object* object)
{
    result.vt = VT_DISPATCH;
    result.pdispVal = object;
}

void giveText(VARIANT& result, const std::wstring& text)
{
    BSTR s = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!s)
        throw std::bad_alloc();
    result.vt = VT_BSTR;
    result.bstrVal = s;
}

void giveNumber(VARIANT& result, double value)
{
    result.vt = VT_R8;
    result.dblVal = value;
}

void giveCount(VARIANT& result, size_t count)
{
    result.vt = VT_I4;
    result.lVal = static_cast<LONG>(count);
}

void giveBool(VARIANT& result, bool value)
{
    result.vt = VT_BOOL;
    result.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

} // namespace sheets
