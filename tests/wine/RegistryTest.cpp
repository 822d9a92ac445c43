// The registry as the port list reads it, against values that wine-registry.sh wrote into the
// prefix with `wine reg add` just before this test ran:
//   \Device\Serial0 = "COM3", \Device\Serial1 = "com1", \Device\Serial2 = 7 (REG_DWORD),
//   \Device\Serial3 = "COM4", \Device\Z<1100 x> = "COM9" (a name longer than the buffer),
//   \Device\Zz = "COM7" (after it).
#include <windows/Registry.h>

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

const char* kKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

// The text up to the buffer's first NUL, as the port list cuts it.
std::string cut(const std::string& s) { return s.substr(0, s.find('\0')); }

} // namespace

TEST(Registry, ValuesComeInOrderAsWholeBuffersUntilOneDoesNotFit)
{
    win::LocalMachineKey key;
    ASSERT_TRUE(key.open(kKey));
    std::string name;
    std::string data;
    const std::pair<const char*, const char*> ports[] = {
        {"\\Device\\Serial0", "COM3"}, {"\\Device\\Serial1", "com1"}, {nullptr, nullptr}, {"\\Device\\Serial3", "COM4"}};
    for (unsigned i = 0; i < 4; ++i) {
        ASSERT_TRUE(key.enumValue(i, 1000, 1000, name, data)) << "value " << i;
        EXPECT_EQ(name.size(), 1000u) << "the whole name buffer comes back";
        EXPECT_EQ(data.size(), 1000u) << "the whole data buffer comes back";
        if (!ports[i].first) {
            // The value that is not text: its four bytes, then the zeros of the buffer.
            EXPECT_EQ(key.lastType(), unsigned(REG_DWORD));
            EXPECT_EQ(cut(name), "\\Device\\Serial2");
            EXPECT_EQ(data.substr(0, 4), std::string("\x07\0\0\0", 4));
            continue;
        }
        EXPECT_EQ(key.lastType(), unsigned(REG_SZ));
        EXPECT_EQ(cut(name), ports[i].first);
        EXPECT_EQ(cut(data), ports[i].second) << "the data is the port name as written, case and all";
    }
    // The long name does not fit a buffer of 1000 characters: the enumeration ends there, and the
    // value after it is never reached.
    EXPECT_FALSE(key.enumValue(4, 1000, 1000, name, data));
    // It is there, and fits a larger buffer: what ended the enumeration was the buffer's size.
    ASSERT_TRUE(key.enumValue(4, 2000, 1000, name, data));
    EXPECT_EQ(cut(name), "\\Device\\Z" + std::string(1100, 'x'));
    EXPECT_EQ(cut(data), "COM9");
    ASSERT_TRUE(key.enumValue(5, 1000, 1000, name, data));
    EXPECT_EQ(cut(data), "COM7");
    EXPECT_FALSE(key.enumValue(6, 1000, 1000, name, data)) << "no more values";
}

TEST(Registry, DataLongerThanItsBufferEndsTheEnumerationToo)
{
    win::LocalMachineKey key;
    ASSERT_TRUE(key.open(kKey));
    std::string name;
    std::string data;
    // "COM3" and its NUL need 5 bytes.
    EXPECT_FALSE(key.enumValue(0, 1000, 4, name, data));
    EXPECT_TRUE(key.enumValue(0, 1000, 5, name, data));
    EXPECT_EQ(data, std::string("COM3\0", 5));
}

TEST(Registry, AKeyThatIsNotThereOrNotOpenGivesNoValues)
{
    win::LocalMachineKey key;
    std::string name;
    std::string data;
    EXPECT_FALSE(key.enumValue(0, 1000, 1000, name, data)) << "nothing is open yet";
    EXPECT_FALSE(key.open("HARDWARE\\DEVICEMAP\\NO-SUCH-KEY"));
    EXPECT_FALSE(key.enumValue(0, 1000, 1000, name, data));
    ASSERT_TRUE(key.open(kKey));
    key.close();
    EXPECT_FALSE(key.enumValue(0, 1000, 1000, name, data)) << "closed";
}
