#pragma once

#include "app/ReportChoice.h"

#include <QDialog>
#include <functional>
#include <memory>

class FileDialogs;
class Messenger;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSettings;
class SaveProgress;

namespace archive {
class Archive;
}

// The monitoring report's choices (ReportChoice): the site or the gauges chosen in the history
// tab, the period, the report's language, title, reader and remarks, a plot per gauge or per
// type. 生成… asks for the file (PDF, AGS4 or long CSV, by its suffix), gathers the report and
// writes it under a progress dialog with a cancel; the choices are remembered for next time.
class ReportDialog : public QDialog {
    Q_OBJECT
public:
    // What the history tab offers: its archive's sites, the one it shows, the gauges chosen in it.
    struct Offer {
        QStringList sites;
        QString currentSite;
        QStringList chosenGauges;
    };
    // `settings` (may be null: nothing remembered) keeps the choices between runs.
    ReportDialog(archive::Archive& archive, const Offer& offer, FileDialogs& dialogs, Messenger& messenger,
                 QSettings* settings, QWidget* parent = nullptr);
    ~ReportDialog() override;

    ReportChoice choice() const;
    void setChoice(const ReportChoice& choice);

    // Asks for the file and writes the report to it; true when it was written. Refused while
    // one is being written.
    bool generate();
    bool running() const { return m_running; }
    // Stops the report being written (nothing is written); the dialog closes once it has stopped.
    void cancelAndClose();

    // The file last written, "" when none.
    const QString& writtenPath() const { return m_written; }

    // The progress of a report being written, a progress dialog with 取消 unless replaced.
    SaveProgress* progress = nullptr;
    // The present, for the periods counted back from now.
    std::function<QDateTime()> clock;

    QComboBox* siteBox = nullptr;   // the sites (data: the name), 选中的测点 (data: kChosen), 全部测点 (kAll)
    QComboBox* periodBox = nullptr; // report::PeriodKind's order
    QDateEdit* monthEdit = nullptr;
    QDateEdit* fromEdit = nullptr;
    QDateEdit* toEdit = nullptr;
    QComboBox* languageBox = nullptr; // data: the language code
    QComboBox* groupingBox = nullptr; // report::Grouping's order
    QLineEdit* titleEdit = nullptr;
    QLineEdit* readerEdit = nullptr;
    QPlainTextEdit* remarksEdit = nullptr;
    QLabel* problemLabel = nullptr;
    QPushButton* generateButton = nullptr;
    QPushButton* closeButton = nullptr;

    static const QString kChosen; // siteBox's data of 选中的测点
    static const QString kAll;    // and of 全部测点

signals:
    // A report was written; `text` names the file, for the window's status line.
    void written(const QString& text);

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void updateState();
    // The proposed file name: the site's (or the gauges') and the period's.
    QString proposedName(const ReportChoice& choice) const;

    archive::Archive& m_archive;
    FileDialogs& m_dialogs;
    Messenger& m_messenger;
    QSettings* m_settings;
    QStringList m_chosenGauges;
    std::unique_ptr<SaveProgress> m_ownProgress;
    bool m_running = false;
    bool m_stop = false; // asked to stop the report being written
    bool m_closeWhenDone = false;
    ReportFormat m_format = ReportFormat::Pdf;
    QString m_written;
};
