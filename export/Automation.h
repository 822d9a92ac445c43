#pragma once

#include <QString>
#include <workbook/workbook.h>

#include <functional>
#include <map>
#include <memory>
#include <stdexcept>

// The spreadsheet automation interface: an application that opens an existing workbook, finds
// worksheets by name and in order, renames and adds worksheets, sets and reads cells, saves to
// the same path in the same format, closes and quits. Servers (Excel, WPS spreadsheets, the
// built-in engine) are created by identifier. Any call may fail with sheets::Error, which carries
// the kind of failure, when the server knows it, and the server's description of it.
namespace sheets {

using workbook::ErrorKind;

class Error : public std::runtime_error {
public:
    // A failure of no known kind (ErrorKind::None): its description is all there is to show.
    explicit Error(const QString& description);
    Error(ErrorKind kind, const QString& description);
    ErrorKind kind() const { return m_kind; }
    QString description() const { return m_description; }

private:
    ErrorKind m_kind = ErrorKind::None;
    QString m_description;
};

class Worksheet {
public:
    virtual ~Worksheet();
    virtual QString name() const = 0;
    virtual void setName(const QString& name) = 0;
    // Rows and columns count from 1.
    virtual QString cellText(int row, int column) const = 0;
    virtual void setCellText(int row, int column, const QString& text) = 0;
    virtual void setCellNumber(int row, int column, double value) = 0;
};

class Workbook {
public:
    virtual ~Workbook();
    virtual int worksheetCount() const = 0;
    // Worksheets in workbook order, from 0.
    virtual Worksheet& worksheet(int index) = 0;
    virtual Worksheet& worksheet(const QString& name) = 0;
    // A new worksheet directly after the given one.
    virtual Worksheet& addAfter(Worksheet& after) = 0;
    virtual void save() = 0;
    virtual void close(bool saveChanges) = 0;
};

class Application {
public:
    virtual ~Application();
    // Opens an existing workbook file; the application keeps it until it is closed.
    virtual Workbook& open(const QString& path) = 0;
    virtual void setVisible(bool visible) = 0;
    virtual void quit() = 0;
};

inline const QString kExcel = QStringLiteral("Excel.Application");
inline const QString kWps = QStringLiteral("ET.Application");
inline const QString kBuiltin = QStringLiteral("Varnok.Workbook");

// The servers this program can create, by identifier (compared ignoring case, as program
// identifiers are). A server that is not installed has no entry, or its creator throws.
class Servers {
public:
    using Creator = std::function<std::unique_ptr<Application>()>;
    void add(const QString& identifier, Creator creator);
    std::unique_ptr<Application> create(const QString& identifier) const;
    // True if an instance can be created; it is released at once.
    bool exists(const QString& identifier) const;

private:
    std::map<QString, Creator> m_creators; // keys lower-case
};

} // namespace sheets
