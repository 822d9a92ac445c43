// Late-bound automation: objects whose members are found by name when they are called, as a
// script reaches the object model of a spreadsheet application. Plain C++, so that what is built
// on top of it can be compiled and tested anywhere; Windows implements it with COM (ComAutomation).
#pragma once

#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>

namespace latebound {

class Object;
using ObjectPtr = std::shared_ptr<Object>;

// What crosses a call: nothing (an empty value), a boolean, a number, a text (UTF-16, as the
// servers keep it) or another object of the server.
using Value = std::variant<std::monostate, bool, double, std::u16string, ObjectPtr>;

// An argument given by its parameter's name, such as After:=sheet.
struct Named {
    std::u16string name;
    Value value;
};

// A call that failed. The description is the server's own when it gave one, otherwise the
// system's text for the code; code is the HRESULT (0 when there is none).
class Failure : public std::runtime_error {
public:
    Failure(long code, std::u16string description);
    long code() const { return m_code; }
    const std::u16string& description() const { return m_description; }

private:
    long m_code;
    std::u16string m_description;
};

class Object {
public:
    virtual ~Object();
    // A property, with the property's own arguments (Item(row, column)).
    virtual Value get(std::u16string_view member, std::span<const Value> args = {}) = 0;
    virtual void put(std::u16string_view member, const Value& value, std::span<const Value> args = {}) = 0;
    // A method, with its positional arguments first to last and any named ones.
    virtual Value call(std::u16string_view member, std::span<const Value> args = {},
                       std::span<const Named> named = {}) = 0;
};

class Factory {
public:
    virtual ~Factory();
    // The application registered under the program identifier, or nullptr when none is
    // registered. Throws Failure when it is registered but cannot be started.
    virtual ObjectPtr create(std::u16string_view identifier) = 0;
};

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string toUtf8(std::u16string_view text);

} // namespace latebound
