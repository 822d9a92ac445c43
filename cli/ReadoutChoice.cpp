#include "cli/ReadoutChoice.h"

#include "archive/Archive.h"
#include "archive/Recorder.h"
#include "cli/Options.h"

#include <QCoreApplication>

namespace cli {

namespace {

struct Texts {
    Q_DECLARE_TR_FUNCTIONS(cli::ReadoutChoice)
};

ReadoutChoice failed(const archive::Error& error)
{
    return ReadoutChoice{std::nullopt, archive::Recorder::errorText(error), ArchiveFailed};
}

ReadoutChoice refused(const QString& text) { return ReadoutChoice{std::nullopt, text, NoInstrument}; }

} // namespace

QString knownReadoutsText(const archive::Archive& archive)
{
    QStringList names;
    for (const archive::Readout& r : archive.readouts())
        names << r.name;
    if (names.isEmpty())
        return Texts::tr("档案中还没有仪器，请先用 ktm520-cli archive instruments add 名称 [--zone 时区] 添加。");
    //: between the names of a list
    return Texts::tr("已有的仪器：%1。添加仪器：ktm520-cli archive instruments add 名称 [--zone 时区]。")
        .arg(names.join(Texts::tr("、")));
}

ReadoutChoice chooseReadout(const archive::Archive& archive, const QString& given, const QString& device,
                            const QString& fallback)
{
    archive::Error error;
    if (!given.isEmpty()) {
        if (std::optional<archive::Readout> r = archive.readout(given, &error))
            return ReadoutChoice{std::move(r), {}, 0};
        if (!error.detail.isEmpty())
            return failed(error);
        return refused(Texts::tr("档案中没有仪器“%1”，未发送任何命令。").arg(given) + knownReadoutsText(archive));
    }
    if (!device.isEmpty()) {
        if (std::optional<archive::Readout> r = archive.readoutOfDevice(device, &error))
            return ReadoutChoice{std::move(r), {}, 0};
        if (!error.detail.isEmpty())
            return failed(error);
    }
    if (!fallback.isEmpty()) {
        if (std::optional<archive::Readout> r = archive.readout(fallback, &error))
            return ReadoutChoice{std::move(r), {}, 0};
        if (!error.detail.isEmpty())
            return failed(error);
        return refused(Texts::tr("默认仪器“%1”不在档案中，未发送任何命令。").arg(fallback) + knownReadoutsText(archive));
    }
    return refused(Texts::tr("未指定仪器：不知道这次拷贝的记录属于哪台仪器，未发送任何命令。请用 --instrument 名称 "
                             "指定（此后从同一串口设备拷贝时会记住它），或用 ktm520-cli archive instruments default "
                             "名称 设定默认仪器。") +
                   knownReadoutsText(archive));
}

} // namespace cli
