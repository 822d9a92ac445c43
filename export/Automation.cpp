#include "export/Automation.h"

#include <QCoreApplication>

namespace sheets {

Error::Error(const QString& description) : Error(ErrorKind::None, description) {}

Error::Error(ErrorKind kind, const QString& description)
    : std::runtime_error(description.toStdString()), m_kind(kind), m_description(description)
{
}

Worksheet::~Worksheet() = default;
Workbook::~Workbook() = default;
Application::~Application() = default;

void Servers::add(const QString& identifier, Creator creator)
{
    m_creators[identifier.toLower()] = std::move(creator);
}

std::unique_ptr<Application> Servers::create(const QString& identifier) const
{
    const auto it = m_creators.find(identifier.toLower());
    if (it == m_creators.end())
        throw Error(QCoreApplication::translate("sheets", "没有可用的表格程序：%1").arg(identifier));
    std::unique_ptr<Application> app = it->second();
    if (!app)
        throw Error(QCoreApplication::translate("sheets", "无法启动表格程序：%1").arg(identifier));
    return app;
}

bool Servers::exists(const QString& identifier) const
{
    try {
        return create(identifier) != nullptr;
    } catch (...) {
        return false;
    }
}

} // namespace sheets
