#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class PreviewGrid;
namespace sheets {
class Application;
class Servers;
class Workbook;
} // namespace sheets

// A workbook a component list is imported from, as the editor imports one: opened through a
// spreadsheet server (Excel, WPS or the program's own engine), its worksheets listed, one of them
// read into the list (ComponentList::fillFromSheet). The workbook stays open until release(), so
// that another of its worksheets can be chosen.
class ComponentImport {
public:
    // How a step that fails once the server has started is met: Excel and the engine report it
    // and the import ends; through WPS each step is tried on its own and none is reported.
    enum class Failures {
        Report,
        Skip
    };

    explicit ComponentImport(const sheets::Servers& servers);
    ~ComponentImport(); // releases the workbook, without saving it
    ComponentImport(const ComponentImport&) = delete;
    ComponentImport& operator=(const ComponentImport&) = delete;

    // Releases the workbook held so far, then opens `path` through `server`, hides the server and
    // lists the worksheets. Returns the operator's message when the import failed; then nothing
    // is held. A server that cannot be started is reported whatever `failures` says.
    std::optional<QString> open(const QString& server, const QString& path, Failures failures = Failures::Report);
    bool isOpen() const { return m_book != nullptr; }
    // The worksheets in workbook order, as far as they could be listed.
    const QStringList& sheetNames() const { return m_sheets; }

    // Shows worksheet `index` (from 0) in the grid. Returns the operator's message when it is
    // not there or could not be read; the grid then shows what was read of it.
    std::optional<QString> fill(PreviewGrid& grid, int index);

    // Closes the workbook, saving it first when `save` (WPS saves on closing; Excel and the
    // engine do not), and quits the server. A failure here is no news to the operator.
    void release(bool save = false);

    // The editor's words for an import that failed for `reason`.
    static QString failureText(const QString& reason);

private:
    const sheets::Servers& m_servers;
    std::unique_ptr<sheets::Application> m_app;
    sheets::Workbook* m_book = nullptr;
    QStringList m_sheets;
};
