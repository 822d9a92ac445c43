#include "serial/PortDiscovery.h"

#include <gtest/gtest.h>
#include <utility>
#include <vector>

namespace {

// A registry key holding the given (name, data) values; entries with more characters than the
// buffers hold end the enumeration, as the real call does.
class ListRegistry : public PortRegistry {
public:
    explicit ListRegistry(std::vector<std::pair<QByteArray, QByteArray>> values, bool opens = true)
        : m_values(std::move(values)), m_opens(opens) {}
    bool open(const QString& key) override
    {
        openedKey = key;
        m_isOpen = m_opens;
        return m_opens;
    }
    bool enumValue(int index, int nameCap, int dataCap, QByteArray& name, QByteArray& data) override
    {
        ++calls;
        if (!m_isOpen || index < 0 || index >= int(m_values.size()))
            return false;
        const auto& [n, d] = m_values[size_t(index)];
        if (n.size() + 1 > nameCap || d.size() + 1 > dataCap)
            return false;
        name = n + '\0';
        data = d + '\0';
        return true;
    }
    QString openedKey;
    int calls = 0;

private:
    std::vector<std::pair<QByteArray, QByteArray>> m_values;
    bool m_opens;
    bool m_isOpen = false;
};

} // namespace

TEST(PortDiscovery, KeepsEnumerationOrderAndUpperCases)
{
    ListRegistry reg({{"\\Device\\Serial0", "COM3"}, {"\\Device\\Serial1", "com1"}});
    EXPECT_EQ(RegEnumValues(reg, QString::fromLatin1(kSerialCommKey)), QStringList({"COM3", "COM1"}));
    EXPECT_EQ(reg.openedKey, QStringLiteral("HARDWARE\\DEVICEMAP\\SERIALCOMM"));
    EXPECT_EQ(GetComPorts(reg), QStringLiteral("COM3 COM1 "));
}

TEST(PortDiscovery, SkipsValuesWithoutComAndKeepsDuplicates)
{
    ListRegistry reg({{"a", "LPT1"}, {"b", "COM2"}, {"c", "xcom9"}, {"d", "COM2"}});
    EXPECT_EQ(GetComPorts(reg), QStringLiteral("COM2 XCOM9 COM2 "));
}

TEST(PortDiscovery, CutsAtTheFirstNul)
{
    ListRegistry reg({{"a", QByteArray("COM4\0junk", 9)}, {"b", QByteArray("x\0COM5", 6)}});
    // "x" after the cut holds no "COM": skipped even though the bytes after the NUL do.
    EXPECT_EQ(GetComPorts(reg), QStringLiteral("COM4 "));
}

TEST(PortDiscovery, FirstFailedEnumerationEndsTheList)
{
    ListRegistry reg({{"a", "COM1"}, {"b", QByteArray(1200, 'C')}, {"c", "COM7"}});
    EXPECT_EQ(GetComPorts(reg), QStringLiteral("COM1 "));
}

TEST(PortDiscovery, EmptyOrUnreadableKeyGivesNothing)
{
    ListRegistry empty({});
    EXPECT_EQ(RegEnumValues(empty, QStringLiteral("k")), QStringList({QString()}));
    EXPECT_EQ(GetComPorts(empty), QString());
    ListRegistry closed({{"a", "COM1"}}, /*opens=*/false);
    EXPECT_EQ(GetComPorts(closed), QString());
    EmptyPortRegistry none;
    EXPECT_EQ(GetComPorts(none), QString());
}
