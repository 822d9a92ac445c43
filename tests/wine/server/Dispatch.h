// What every object of the test server shares: reference counting, the count of live objects,
// and a late-bound IDispatch driven by a table of members. A subclass lists its members and
// does the work; names, dispids, argument order, named arguments and the reporting of failures
// are handled here once.
#pragma once

#include "Model.h"

#include <windows.h>
#include <oleauto.h>

#include <atomic>
#include <span>
#include <vector>

namespace sheets {

extern std::atomic<long> liveObjects;
extern std::atomic<unsigned long> lastLcid;

enum class Kind {
    Get,
    GetPut,
    Method
};

struct Member {
    const wchar_t* name;
    DISPID id;
    Kind kind;
    const wchar_t* params[4]; // in positional order; a named argument's dispid is its index here
    unsigned required;

    unsigned paramCount() const
    {
        unsigned n = 0;
        while (n < 4 && params[n])
            ++n;
        return n;
    }
};

// An argument the call cannot take: Invoke returns `hr`, and `argIndex` (an index into rgvarg)
// through puArgErr when it is known.
struct ArgError {
    HRESULT hr;
    int argIndex = -1;
};

// The arguments of one call, by parameter. An omitted optional argument (none given, or
// VT_ERROR with DISP_E_PARAMNOTFOUND) reads as nullptr. For a property put the new value is
// parameter 0.
class Args {
public:
    static Args forCall(const Member& member, const DISPPARAMS& params);
    static Args forPut(const DISPPARAMS& params);

    const VARIANT* at(unsigned i) const { return i < values_.size() ? values_[i] : nullptr; }
    bool given(unsigned i) const { return at(i) != nullptr; }

    // Each throws ArgError(DISP_E_TYPEMISMATCH) for another type; the argument must be given.
    double number(unsigned i) const;
    std::wstring text(unsigned i) const;
    bool boolean(unsigned i) const;
    IDispatch* object(unsigned i) const;
    [[noreturn]] void mismatch(unsigned i) const;

private:
    explicit Args(unsigned count) : values_(count, nullptr), where_(count, -1) {}
    void set(unsigned param, UINT index, VARIANT* value);

    std::vector<const VARIANT*> values_;
    std::vector<int> where_; // rgvarg index of each parameter, -1 when not passed at all
};

class Object : public IDispatch {
public:
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* excep, UINT* argErr) override;

    // The server's own object behind an IDispatch a caller passed in, or nullptr for any other.
    // No reference is kept: the caller's argument holds one for the length of the call.
    static Object* ours(IDispatch* object);

protected:
    Object();
    virtual ~Object();

    virtual std::span<const Member> members() const = 0;
    // A property get or a method; `result` is VT_EMPTY on entry. Both throw Failure or ArgError.
    virtual void get(const Member& member, const Args& args, VARIANT& result) = 0;
    virtual void put(const Member& member, const Args& args);

private:
    std::atomic<ULONG> refs_{1};
};

// Results handed to the caller. An object is made with one reference, which becomes the caller's.
void giveObject(VARIANT& result, Object* object);
void giveText(VARIANT& result, const std::wstring& text);
void giveNumber(VARIANT& result, double value);
void giveCount(VARIANT& result, size_t count);
void giveBool(VARIANT& result, bool value);

} // namespace sheets
