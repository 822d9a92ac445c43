#include "serial/LinkTexts.h"

#include <QtGlobal>

namespace LinkTexts {
namespace {

struct Reason {
    const char* system; // as the C library words it in its default (English) locale
    const char* ours;   // the operator's words
};

// The reasons a serial port gives most often.
constexpr Reason kReasons[] = {
    {"Resource temporarily unavailable", QT_TRANSLATE_NOOP("LinkTexts", "资源暂时不可用")},
    {"No such file or directory", QT_TRANSLATE_NOOP("LinkTexts", "没有那个文件或目录")},
    {"No such device", QT_TRANSLATE_NOOP("LinkTexts", "没有那个设备")},
    {"No such device or address", QT_TRANSLATE_NOOP("LinkTexts", "没有那个设备或地址")},
    {"Permission denied", QT_TRANSLATE_NOOP("LinkTexts", "权限不够")},
    {"Operation not permitted", QT_TRANSLATE_NOOP("LinkTexts", "不允许的操作")},
    {"Device or resource busy", QT_TRANSLATE_NOOP("LinkTexts", "设备或资源忙")},
    {"Input/output error", QT_TRANSLATE_NOOP("LinkTexts", "输入/输出错误")},
    {"Inappropriate ioctl for device", QT_TRANSLATE_NOOP("LinkTexts", "对设备不适当的 ioctl 操作")},
    {"Bad file descriptor", QT_TRANSLATE_NOOP("LinkTexts", "错误的文件描述符")},
    {"Invalid argument", QT_TRANSLATE_NOOP("LinkTexts", "无效的参数")},
    {"Interrupted system call", QT_TRANSLATE_NOOP("LinkTexts", "被中断的系统调用")},
    {"Broken pipe", QT_TRANSLATE_NOOP("LinkTexts", "管道已断开")},
    {"Connection timed out", QT_TRANSLATE_NOOP("LinkTexts", "连接超时")},
    {"Too many open files", QT_TRANSLATE_NOOP("LinkTexts", "打开的文件过多")},
    {"Unknown error", QT_TRANSLATE_NOOP("LinkTexts", "未知错误")},
};

} // namespace

QString systemReason(const QString& reason)
{
    const QString trimmed = reason.trimmed();
    for (const Reason& r : kReasons)
        if (trimmed.compare(QLatin1String(r.system), Qt::CaseInsensitive) == 0)
            return QCoreApplication::translate("LinkTexts", r.ours);
    return reason;
}

QString interrupted(CommandExchange::Interruption why)
{
    switch (why) {
    case CommandExchange::Interruption::Stopped:
        return QCoreApplication::translate("LinkTexts", "已停止接收：已接收的 %1 字节已丢弃");
    case CommandExchange::Interruption::Disconnected:
        return QCoreApplication::translate("LinkTexts", "已断开，传输中断：已接收的 %1 字节已丢弃");
    case CommandExchange::Interruption::LinkLost:
        return QCoreApplication::translate("LinkTexts", "串口已断开，传输中断：已接收的 %1 字节已丢弃");
    }
    return {};
}

} // namespace LinkTexts
