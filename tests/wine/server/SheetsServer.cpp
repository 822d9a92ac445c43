// An in-process COM server, "Varnok.TestSheets", that stands in for Excel or WPS in the tests
// run under Wine: Application, Workbooks, Workbook, Worksheets, Worksheet and Range, late-bound
// only. An .xls workbook is read and written as a real BIFF8 file by the project's workbook
// engine; any other file is kept in the small text format of Model.cpp. Registered also as
// "Excel.Application" (register-server.sh), it takes a save of the program as Excel would. Besides the COM entry points
// it exports counters the tests read to prove that every object was released and that the
// caller passed the expected locale.
#include "Dispatch.h"

#include <cmath>
#include <new>
#include <utility>
#include <vector>

namespace sheets {
namespace {

// {ACAFD206-4EA1-44AF-85BF-BF84411D975C}, also in register-server.sh
const CLSID kClsid = {0xacafd206, 0x4ea1, 0x44af, {0x85, 0xbf, 0xbf, 0x84, 0x41, 0x1d, 0x97, 0x5c}};

std::atomic<long> serverLocks{0};
std::atomic<long> factoryRefs{0};

// Holds a new object until it is handed over, so that a throw on the way releases it.
template <class T>
class Fresh {
public:
    explicit Fresh(T* object) : object_(object) {}
    ~Fresh()
    {
        if (object_)
            object_->Release();
    }
    Fresh(const Fresh&) = delete;
    Fresh& operator=(const Fresh&) = delete;
    T* operator->() const { return object_; }
    void give(VARIANT& result) { giveObject(result, std::exchange(object_, nullptr)); }

private:
    T* object_;
};

void requireOpen(const Book& book)
{
    if (book.closed)
        throw Failure{L"workbook is closed"};
}

// A row or column argument: a whole number, though it may arrive as a double.
long long wholeNumber(const Args& args, unsigned i)
{
    const double value = args.number(i);
    if (!std::isfinite(value) || value != std::floor(value) || std::fabs(value) > 1e9)
        throw Failure{L"a row or column must be a whole number"};
    return static_cast<long long>(value);
}

class Range final : public Object {
public:
    // Row 0 stands for the whole sheet, what Worksheet.Cells returns.
    Range(std::shared_ptr<Book> book, std::shared_ptr<Sheet> sheet, int row, int column)
        : book_(std::move(book)), sheet_(std::move(sheet)), row_(row), column_(column)
    {
    }

private:
    enum {
        kItem = DISPID_VALUE,
        kValue = 1
    };
    static constexpr Member kMembers[] = {
        {L"Item", kItem, Kind::Get, {L"RowIndex", L"ColumnIndex"}, 2},
        {L"Value", kValue, Kind::GetPut, {}, 0},
    };
    std::span<const Member> members() const override { return kMembers; }

    void get(const Member& member, const Args& args, VARIANT& result) override
    {
        requireOpen(*book_);
        if (member.id == kItem) {
            // Like Excel, relative to the range's top left cell.
            const long long row = (row_ ? row_ : 1) + wholeNumber(args, 0) - 1;
            const long long column = (row_ ? column_ : 1) + wholeNumber(args, 1) - 1;
            if (row < 1 || row > kMaxRow || column < 1 || column > kMaxColumn)
                throw Failure{L"the cell is outside the sheet"};
            Fresh<Range>(new Range(book_, sheet_, static_cast<int>(row), static_cast<int>(column))).give(result);
            return;
        }
        const auto found = sheet_->cells.find(cell());
        if (found == sheet_->cells.end())
            return;
        if (found->second.isText)
            giveText(result, found->second.text);
        else
            giveNumber(result, found->second.number);
    }

    void put(const Member&, const Args& args) override
    {
        requireOpen(*book_);
        const auto at = cell();
        const VARIANT& v = *args.at(0);
        Cell value;
        switch (v.vt) {
        case VT_EMPTY:
            clearCell(*book_, *sheet_, at.first, at.second);
            return;
        case VT_BSTR:
            value.isText = true;
            value.text = args.text(0);
            break;
        case VT_R8:
        case VT_I4:
        case VT_I2:
            value.number = args.number(0);
            if (!std::isfinite(value.number))
                throw Failure{L"a cell cannot hold an infinite number or NaN"};
            break;
        default:
            args.mismatch(0);
        }
        setCell(*book_, *sheet_, at.first, at.second, std::move(value));
    }

    std::pair<int, int> cell() const
    {
        if (!row_)
            throw Failure{L"Value of a whole sheet is not supported by this test server"};
        return {row_, column_};
    }

    std::shared_ptr<Book> book_;
    std::shared_ptr<Sheet> sheet_;
    int row_;
    int column_;
};

class Worksheet final : public Object {
public:
    Worksheet(std::shared_ptr<Book> book, std::shared_ptr<Sheet> sheet) : book_(std::move(book)), sheet_(std::move(sheet)) {}

    const Book* book() const { return book_.get(); }
    const Sheet* sheet() const { return sheet_.get(); }

private:
    enum {
        kName = 1,
        kCells = 2
    };
    static constexpr Member kMembers[] = {
        {L"Name", kName, Kind::GetPut, {}, 0},
        {L"Cells", kCells, Kind::Get, {}, 0},
    };
    std::span<const Member> members() const override { return kMembers; }

    void get(const Member& member, const Args&, VARIANT& result) override
    {
        requireOpen(*book_);
        if (member.id == kName)
            giveText(result, sheet_->name);
        else
            Fresh<Range>(new Range(book_, sheet_, 0, 0)).give(result);
    }

    void put(const Member&, const Args& args) override
    {
        requireOpen(*book_);
        std::wstring name = args.text(0);
        // The text is checked by the tests: it proves a description outside ASCII reaches them.
        if (!nameAllowed(*book_, sheet_.get(), name))
            throw Failure{L"工作表名称无效或已被使用"};
        renameSheet(*book_, *sheet_, name);
    }

    std::shared_ptr<Book> book_;
    std::shared_ptr<Sheet> sheet_;
};

class Worksheets final : public Object {
public:
    explicit Worksheets(std::shared_ptr<Book> book) : book_(std::move(book)) {}

private:
    enum {
        kItem = DISPID_VALUE,
        kCount = 1,
        kAdd = 2
    };
    static constexpr Member kMembers[] = {
        {L"Item", kItem, Kind::Get, {L"Index"}, 1},
        {L"Count", kCount, Kind::Get, {}, 0},
        {L"Add", kAdd, Kind::Method, {L"Before", L"After", L"Count", L"Type"}, 0},
    };
    std::span<const Member> members() const override { return kMembers; }

    void get(const Member& member, const Args& args, VARIANT& result) override
    {
        requireOpen(*book_);
        auto& sheets = book_->sheets;
        switch (member.id) {
        case kItem:
            if (args.at(0)->vt == VT_BSTR) {
                const std::wstring name = args.text(0);
                for (const auto& sheet : sheets)
                    if (sameName(sheet->name, name)) {
                        Fresh<Worksheet>(new Worksheet(book_, sheet)).give(result);
                        return;
                    }
                throw Failure{L"there is no worksheet named " + name};
            } else {
                const double index = args.number(0);
                if (index != std::floor(index) || index < 1 || index > static_cast<double>(sheets.size()))
                    throw Failure{L"there is no worksheet with that index"};
                Fresh<Worksheet>(new Worksheet(book_, sheets[static_cast<size_t>(index) - 1])).give(result);
            }
            return;
        case kCount:
            giveCount(result, sheets.size());
            return;
        case kAdd:
            add(args, result);
            return;
        }
    }

    void add(const Args& args, VARIANT& result)
    {
        if (args.given(0))
            throw Failure{L"Before is not supported by this test server"};
        if (!args.given(1))
            throw Failure{L"Add needs After in this test server"};
        if (args.given(2) && args.number(2) != 1)
            throw Failure{L"this test server adds one sheet at a time"};
        if (args.given(3))
            throw Failure{L"Type is not supported by this test server"};
        const auto* after = dynamic_cast<Worksheet*>(Object::ours(args.object(1)));
        if (!after || after->book() != book_.get())
            throw Failure{L"After must be a worksheet of this workbook"};

        Fresh<Worksheet>(new Worksheet(book_, addSheetAfter(*book_, *after->sheet()))).give(result);
    }

    std::shared_ptr<Book> book_;
};

class Workbook final : public Object {
public:
    Workbook(std::shared_ptr<App> app, std::shared_ptr<Book> book) : app_(std::move(app)), book_(std::move(book)) {}

private:
    enum {
        kWorksheets = 1,
        kSave = 2,
        kClose = 3
    };
    static constexpr Member kMembers[] = {
        {L"Worksheets", kWorksheets, Kind::Get, {}, 0},
        {L"Save", kSave, Kind::Method, {}, 0},
        {L"Close", kClose, Kind::Method, {L"SaveChanges", L"Filename", L"RouteWorkbook"}, 0},
    };
    std::span<const Member> members() const override { return kMembers; }

    void get(const Member& member, const Args& args, VARIANT& result) override
    {
        requireOpen(*book_);
        switch (member.id) {
        case kWorksheets:
            Fresh<Worksheets>(new Worksheets(book_)).give(result);
            return;
        case kSave:
            saveBook(*book_, book_->path);
            return;
        case kClose: {
            const bool save = args.given(0) && args.boolean(0);
            // As in Excel, a Filename makes the save go there; RouteWorkbook means nothing here.
            const std::wstring target = args.given(1) ? fullPath(args.text(1)) : book_->path;
            if (save) {
                saveBook(*book_, target);
                book_->path = target;
            }
            book_->closed = true;
            std::erase(app_->books, book_);
            return;
        }
        }
    }

    std::shared_ptr<App> app_;
    std::shared_ptr<Book> book_;
};

class Workbooks final : public Object {
public:
    explicit Workbooks(std::shared_ptr<App> app) : app_(std::move(app)) {}

private:
    enum {
        kOpen = 1,
        kCount = 2
    };
    static constexpr Member kMembers[] = {
        {L"Open", kOpen, Kind::Method, {L"Filename"}, 1},
        {L"Count", kCount, Kind::Get, {}, 0},
    };
    std::span<const Member> members() const override { return kMembers; }

    void get(const Member& member, const Args& args, VARIANT& result) override
    {
        if (member.id == kCount) {
            giveCount(result, app_->books.size());
            return;
        }
        auto book = loadBook(fullPath(args.text(0)));
        Fresh<Workbook> opened(new Workbook(app_, book));
        app_->books.push_back(std::move(book));
        opened.give(result);
    }

    std::shared_ptr<App> app_;
};

class Application final : public Object {
public:
    Application() : app_(std::make_shared<App>()) {}

private:
    enum {
        kVisible = 1,
        kWorkbooks = 2,
        kQuit = 3,
        kFailDeferred = 4
    };
    static constexpr Member kMembers[] = {
        {L"Visible", kVisible, Kind::GetPut, {}, 0},
        {L"Workbooks", kWorkbooks, Kind::Get, {}, 0},
        {L"Quit", kQuit, Kind::Method, {}, 0},
        {L"FailDeferred", kFailDeferred, Kind::Method, {}, 0},
    };
    std::span<const Member> members() const override { return kMembers; }

    void get(const Member& member, const Args&, VARIANT& result) override
    {
        switch (member.id) {
        case kVisible:
            giveBool(result, app_->visible);
            return;
        case kWorkbooks:
            Fresh<Workbooks>(new Workbooks(app_)).give(result);
            return;
        case kQuit:
            // Closes everything without saving, as Quit does once Excel is told not to ask.
            for (const auto& book : app_->books)
                book->closed = true;
            app_->books.clear();
            return;
        case kFailDeferred:
            throw Failure{L"", true};
        }
    }

    void put(const Member&, const Args& args) override { app_->visible = args.boolean(0); }

    std::shared_ptr<App> app_;
};

// One static factory; the references callers hold on it keep the DLL from unloading.
class Factory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++factoryRefs); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--factoryRefs); }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        Application* app = nullptr;
        try {
            app = new Application();
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        const HRESULT hr = app->QueryInterface(riid, ppv);
        app->Release();
        return hr;
    }

    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override
    {
        if (lock)
            ++serverLocks;
        else
            --serverLocks;
        return S_OK;
    }
};

Factory factory;

} // namespace
} // namespace sheets

extern "C" {

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (rclsid != sheets::kClsid)
        return CLASS_E_CLASSNOTAVAILABLE;
    return sheets::factory.QueryInterface(riid, ppv);
}

long TestServerLiveObjects()
{
    return sheets::liveObjects;
}

unsigned long TestServerLastLcid()
{
    return sheets::lastLcid;
}

// What keeps the DLL loaded: LockServer locks, references on the factory and live objects.
long TestServerLocksAndServers()
{
    return sheets::serverLocks + sheets::factoryRefs + sheets::liveObjects;
}

STDAPI DllCanUnloadNow()
{
    return TestServerLocksAndServers() == 0 ? S_OK : S_FALSE;
}

} // extern "C"
