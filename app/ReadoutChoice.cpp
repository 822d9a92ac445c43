#include "app/ReadoutChoice.h"

#include "archive/Archive.h"
#include "archive/Recorder.h"

#include <QCoreApplication>
#include <QTimeZone>
#include <algorithm>

namespace {

bool nameTaken(const std::vector<archive::Readout>& readouts, const QString& name, qint64 except)
{
    return std::any_of(readouts.begin(), readouts.end(), [&](const archive::Readout& r) {
        return r.id != except && r.name.trimmed().compare(name.trimmed(), Qt::CaseInsensitive) == 0;
    });
}

} // namespace

QString pcTimeZoneId()
{
    for (const QByteArray& id : {QTimeZone::systemTimeZoneId(), QTimeZone::systemTimeZone().id()})
        if (!id.isEmpty() && QTimeZone::isTimeZoneIdAvailable(id))
            return QString::fromUtf8(id);
    return QStringLiteral("UTC");
}

QString readoutAnswerProblem(const std::vector<archive::Readout>& readouts, const ReadoutAnswer& answer)
{
    if (answer.kind == ReadoutAnswer::Kind::Existing) {
        const bool known = std::any_of(readouts.begin(), readouts.end(),
                                       [&](const archive::Readout& r) { return r.id == answer.existing; });
        if (!known)
            return QCoreApplication::translate("ReadoutChoice", "请选择一台仪器。");
        if (!answer.name.trimmed().isEmpty() && nameTaken(readouts, answer.name, answer.existing))
            return QCoreApplication::translate("ReadoutChoice", "已有名为“%1”的仪器，请换一个名称。").arg(answer.name.trimmed());
        return {};
    }
    if (answer.name.trimmed().isEmpty())
        return QCoreApplication::translate("ReadoutChoice", "请输入仪器的名称。");
    if (nameTaken(readouts, answer.name, 0))
        return QCoreApplication::translate("ReadoutChoice", "已有名为“%1”的仪器，请换一个名称，或选择该仪器。").arg(answer.name.trimmed());
    if (!QTimeZone::isTimeZoneIdAvailable(answer.timeZone.toUtf8()))
        return QCoreApplication::translate("ReadoutChoice", "未知的时区：%1").arg(answer.timeZone);
    return {};
}

std::optional<archive::Readout> applyReadoutAnswer(archive::Archive& archive, const QString& device,
                                                   const ReadoutAnswer& answer, QString* why)
{
    archive::Error error;
    auto failed = [&]() -> std::optional<archive::Readout> {
        if (why)
            *why = archive::Recorder::errorText(error);
        return std::nullopt;
    };
    const std::vector<archive::Readout> readouts = archive.readouts(&error);
    if (!error.detail.isEmpty())
        return failed();
    if (const QString problem = readoutAnswerProblem(readouts, answer); !problem.isEmpty()) {
        if (why)
            *why = problem;
        return std::nullopt;
    }
    archive::Readout readout;
    if (answer.kind == ReadoutAnswer::Kind::New) {
        const std::optional<archive::Readout> added = archive.addReadout(answer.name.trimmed(), answer.timeZone, &error);
        if (!added)
            return failed();
        readout = *added;
    } else {
        readout = *std::find_if(readouts.begin(), readouts.end(),
                                [&](const archive::Readout& r) { return r.id == answer.existing; });
        const QString renamed = answer.name.trimmed();
        if (!renamed.isEmpty() && renamed != readout.name) {
            if (!archive.renameReadout(readout.id, renamed, &error))
                return failed();
            readout.name = renamed;
        }
    }
    if (!archive.rememberDevice(device, readout.id, &error))
        return failed();
    return readout;
}
