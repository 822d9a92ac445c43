#include "archive/Recorder.h"

#include "archive/ArchiveCheck.h"
#include "archive/Record.h"

#include <QCoreApplication>
#include <QDir>

namespace archive {

Recorder::Recorder(QString path) : m_path(std::move(path)) {}

Archive* Recorder::archive()
{
    if (!m_tried) {
        m_tried = true;
        std::optional<SetAside> aside;
        Error error;
        m_archive = Archive::open(m_path, &aside, &error);
        if (!m_archive)
            m_failure = errorText(error);
        if (aside) {
            m_notice = setAsideText(*aside);
            // What the file set aside still holds, as the thorough check finds it (looking only).
            if (const std::optional<ArchiveCheck::Result> found = ArchiveCheck::run(aside->movedTo, false, nullptr))
                m_notice += QLatin1Char('\n') + ArchiveCheck::text(*found);
        }
    }
    return m_archive.get();
}

QString Recorder::takeNotice() { return std::exchange(m_notice, QString()); }

QString Recorder::storeCopy(const PreviewGrid& grid, const QString& partition, const QDateTime& at)
{
    m_stored = false;
    Archive* a = archive();
    if (!a)
        return QCoreApplication::translate("Recorder", "未能存档：%1").arg(m_failure);
    const std::vector<Record> records = recordsOfGrid(grid, partition);
    Error error;
    const std::optional<StoreResult> stored = a->store(records, at, &error);
    if (!stored)
        return QCoreApplication::translate("Recorder", "未能存档：%1").arg(errorText(error));
    m_stored = true;
    return QCoreApplication::translate("Recorder", "已存档：新增 %1 条记录，共 %2 条")
        .arg(QString::number(stored->added), QString::number(stored->received));
}

QString Recorder::errorText(const Error& error)
{
    QString what;
    switch (error.kind) {
    case ErrorKind::CannotOpen: what = QCoreApplication::translate("Recorder", "无法打开档案数据库"); break;
    case ErrorKind::Damaged: what = QCoreApplication::translate("Recorder", "档案数据库已损坏"); break;
    case ErrorKind::NewerVersion: what = QCoreApplication::translate("Recorder", "档案数据库来自更新版本的程序"); break;
    case ErrorKind::WriteFailed:
        what = QCoreApplication::translate("Recorder", "写入档案数据库失败，本次记录均未保存");
        break;
    case ErrorKind::ReadFailed: what = QCoreApplication::translate("Recorder", "读取档案数据库失败"); break;
    }
    // %1 what failed, %2 SQLite's own words for it.
    return error.detail.isEmpty() ? what : QCoreApplication::translate("Recorder", "%1（%2）").arg(what, error.detail);
}

QString Recorder::setAsideText(const SetAside& s)
{
    const QString why = s.kind == ErrorKind::NewerVersion
                          ? QCoreApplication::translate("Recorder", "档案数据库来自更新版本的程序")
                          : QCoreApplication::translate("Recorder", "档案数据库已损坏");
    return QCoreApplication::translate("Recorder", "%1，已原样移至 %2，并新建了档案数据库。")
        .arg(why, QDir::toNativeSeparators(s.movedTo));
}

} // namespace archive
