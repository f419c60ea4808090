#pragma once

// A small JSON writer: one document on one line, strings escaped, and bytes that are not UTF-8
// (a USB string, a file name) written as U+FFFD, so that the document is always valid.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tvk9::cli {

class JsonWriter {
public:
    JsonWriter& BeginObject();
    JsonWriter& EndObject();
    JsonWriter& BeginArray();
    JsonWriter& EndArray();
    // The name of the next member of an object.
    JsonWriter& Key(std::string_view name);

    JsonWriter& String(std::string_view text);
    JsonWriter& Number(std::int64_t value);
    JsonWriter& Bool(bool value);
    JsonWriter& Null();

    // Closes arrays and objects until `depth` remain open.
    void CloseTo(std::size_t depth);
    std::size_t Depth() const { return open_.size(); }
    const std::string& Text() const { return text_; }

private:
    void BeforeValue();
    JsonWriter& Open(char bracket);
    JsonWriter& Close(char bracket);

    std::string text_;
    std::vector<char> open_;       // the brackets still open
    std::vector<bool> hasMembers_; // beside each: whether anything stands in it yet
    bool afterKey_ = false;
};

// The text as a JSON string, quotes included.
std::string JsonString(std::string_view text);

} // namespace tvk9::cli
