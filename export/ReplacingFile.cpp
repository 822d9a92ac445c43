#include "export/ReplacingFile.h"

#include "export/FailureText.h"
#include "platform/FilePath.h"

#include <QDir>
#include <cerrno>
#include <cstring>
#include <utility>
#include <workbook/workbook.h>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

ReplacingFile::ReplacingFile(const QString& target) : m_target(toFilePath(QDir::toNativeSeparators(target))) {}

ReplacingFile::~ReplacingFile() { cancel(); }

bool ReplacingFile::open(QString* reason)
{
    workbook::Result<workbook::TemporaryFile> temporary = workbook::createTemporaryFor(m_target);
    if (!temporary) {
        if (reason)
            *reason = FailureText::reason(temporary.error());
        return false;
    }
    m_temporary = temporary->path;
    m_file = temporary->file;
    if (!m_device.open(fileno(m_file), QIODevice::WriteOnly, QFileDevice::DontCloseHandle)) {
        if (reason)
            *reason = FailureText::reason(workbook::ErrorKind::Io, m_device.errorString());
        cancel();
        return false;
    }
    return true;
}

bool ReplacingFile::commit(QString* reason)
{
    const auto failed = [&](int err) {
        if (reason)
            *reason = FailureText::reason(workbook::errorKindOfErrno(err), QString::fromLocal8Bit(std::strerror(err)));
        cancel();
        return false;
    };
    if (!m_file)
        return failed(EBADF);
    errno = 0;
    if (!m_device.flush())
        return failed(errno ? errno : EIO);
    m_device.close();
#ifdef _WIN32
    if (_commit(_fileno(m_file)) != 0)
        return failed(errno ? errno : EIO);
#else
    if (fsync(fileno(m_file)) != 0)
        return failed(errno ? errno : EIO);
#endif
    std::FILE* file = std::exchange(m_file, nullptr);
    if (std::fclose(file) != 0) {
        const int err = errno ? errno : EIO;
        std::error_code ec;
        std::filesystem::remove(m_temporary, ec);
        m_temporary.clear();
        return failed(err);
    }
    if (workbook::Error e = workbook::replaceFile(m_temporary, m_target)) {
        if (reason)
            *reason = FailureText::reason(e);
        std::error_code ec;
        std::filesystem::remove(m_temporary, ec);
        m_temporary.clear();
        return false;
    }
    m_temporary.clear();
    return true;
}

void ReplacingFile::cancel()
{
    if (m_device.isOpen())
        m_device.close();
    if (m_file)
        std::fclose(std::exchange(m_file, nullptr));
    if (!m_temporary.empty()) {
        std::error_code ec;
        std::filesystem::remove(m_temporary, ec);
        m_temporary.clear();
    }
}
