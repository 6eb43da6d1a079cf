#include "platform/SettingsText.h"

#include "platform/Log.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <limits>
#include <openssl/evp.h>
#include <optional>

namespace platform {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr const char* kDataKey = "$data";
constexpr int kJsonIndent = 2;

// Walks the text with the library's event parser (which keeps its nesting on the heap, not the
// stack) and stops at the first value nested past kMaxSettingsDepth.
class NestingCheck final : public nlohmann::json_sax<nlohmann::json> {
public:
    bool tooDeep() const { return m_bTooDeep; }

    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool string(string_t&) override { return true; }
    bool binary(binary_t&) override { return true; }
    bool start_object(std::size_t) override { return enter(); }
    bool key(string_t&) override { return true; }
    bool end_object() override { return leave(); }
    bool start_array(std::size_t) override { return enter(); }
    bool end_array() override { return leave(); }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        return false;
    }

private:
    bool enter() {
        m_bTooDeep = ++m_nDepth > kMaxSettingsDepth;
        return !m_bTooDeep;
    }
    bool leave() {
        --m_nDepth;
        return true;
    }
    std::size_t m_nDepth = 0;
    bool m_bTooDeep = false;
};

std::string base64Encode(const Bytes& data) {
    if (data.empty())
        return {};
    std::string out(4 * ((data.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), data.data(),
                                  static_cast<int>(data.size()));
    out.resize(static_cast<std::size_t>(n));
    return out;
}

std::optional<Bytes> base64Decode(const std::string& text) {
    // EVP_DecodeBlock skips surrounding blanks and counts padding as zero bytes; the text is held
    // to the strict alphabet here and the padding taken off after.
    if (text.size() % 4 != 0 || text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        return std::nullopt;
    if (text.empty())
        return Bytes{};
    const std::size_t padding = text.size() >= 2 && text.compare(text.size() - 2, 2, "==") == 0 ? 2
                                : text.back() == '='                                            ? 1
                                                                                                : 0;
    for (std::size_t i = 0; i < text.size() - padding; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (!std::isalnum(c) && c != '+' && c != '/')
            return std::nullopt;
    }
    Bytes out(text.size() / 4 * 3);
    const int n = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(text.data()),
                                  static_cast<int>(text.size()));
    if (n < 0 || static_cast<std::size_t>(n) < padding)
        return std::nullopt;
    out.resize(static_cast<std::size_t>(n) - padding);
    return out;
}

} // namespace

SettingsTextStatus readSettingsText(const std::string& text, SettingsContents& contents) {
    NestingCheck nesting;
    nlohmann::json::sax_parse(text, &nesting);
    if (nesting.tooDeep())
        return SettingsTextStatus::TooDeep;
    const nlohmann::json root = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (root.is_discarded() || !root.is_object())
        return SettingsTextStatus::NotAnObject;
    for (const auto& [key, value] : root.items()) {
        if (value.is_string()) {
            contents.values.emplace(key, value.get<std::string>());
        } else if (value.is_boolean()) {
            contents.values.emplace(key, value.get<bool>());
        } else if (value.is_number_integer() &&
                   (value.is_number_unsigned() ? value.get<std::uint64_t>() <= INT64_MAX : true)) {
            contents.values.emplace(key, value.get<std::int64_t>());
        } else if (value.is_number()) {
            contents.values.emplace(key, value.get<double>());
        } else if (value.is_object() && value.size() == 1 && value.contains(kDataKey) &&
                   value[kDataKey].is_string()) {
            if (auto bytes = base64Decode(value[kDataKey].get<std::string>()))
                contents.values.emplace(key, std::move(*bytes));
            else {
                logf("[ZQ]settings key %s holds damaged base64; kept as found", key.c_str());
                contents.foreign.emplace(key, value);
            }
        } else {
            contents.foreign.emplace(key, value);
        }
    }
    return SettingsTextStatus::Read;
}

std::string settingsText(const SettingsContents& contents) {
    nlohmann::json root = nlohmann::json::object();
    for (const auto& [key, value] : contents.foreign)
        root[key] = value;
    for (const auto& [key, value] : contents.values) {
        if (auto* s = std::get_if<std::string>(&value))
            root[key] = *s;
        else if (auto* i = std::get_if<std::int64_t>(&value))
            root[key] = *i;
        else if (auto* d = std::get_if<double>(&value)) {
            if (!std::isfinite(*d))
                logf("[ZQ]settings key %s: %g cannot be stored in the file; written as null", key.c_str(),
                     *d);
            root[key] = *d;
        } else if (auto* b = std::get_if<bool>(&value))
            root[key] = *b;
        else if (auto* data = std::get_if<Bytes>(&value))
            root[key] = nlohmann::json{{kDataKey, base64Encode(*data)}};
    }
    // Text that is not UTF-8 (a name decoded with the wrong code page) is written with
    // replacement characters instead of failing the whole file.
    return root.dump(kJsonIndent, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

} // namespace platform
