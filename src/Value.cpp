#include "playgraph/Value.hpp"

#include <charconv>
#include <cmath>
#include <limits>

namespace playgraph {

// ---- Dictionary -------------------------------------------------------------

Dictionary::Dictionary() : map_(std::make_shared<Map>()) {}

Dictionary::Dictionary(std::initializer_list<std::pair<std::string, Value>> init)
    : map_(std::make_shared<Map>()) {
    map_->reserve(init.size());
    for (const auto& [key, value] : init)
        map_->set(key, value);
}

std::size_t Dictionary::size() const { return map_->size(); }
bool Dictionary::empty() const { return map_->empty(); }
bool Dictionary::contains(std::string_view key) const { return map_->contains(key); }
const Value* Dictionary::find(std::string_view key) const { return std::as_const(*map_).find(key); }
Value* Dictionary::find(std::string_view key) { return map_->find(key); }

Value Dictionary::get(std::string_view key) const {
    const Value* v = std::as_const(*map_).find(key);
    return v ? *v : Value();
}

void Dictionary::set(std::string_view key, Value value) { map_->set(key, std::move(value)); }
bool Dictionary::erase(std::string_view key) { return map_->erase(key); }
std::vector<std::string> Dictionary::keys() const { return map_->keys(); }
void Dictionary::reserve(std::size_t n) { map_->reserve(n); }

Dictionary Dictionary::copy() const {
    Dictionary out;
    out.map_->reserve(map_->size());
    // Read through the const map: a mutable iteration counts as a change.
    for (const auto& [key, value] : std::as_const(*map_))
        out.map_->set(key, value);
    return out;
}

Dictionary::Map::iterator Dictionary::begin() { return map_->begin(); }
Dictionary::Map::iterator Dictionary::end() { return map_->end(); }
Dictionary::Map::const_iterator Dictionary::begin() const { return std::as_const(*map_).begin(); }
Dictionary::Map::const_iterator Dictionary::end() const { return std::as_const(*map_).end(); }

namespace {

// Comparison and text form recurse into nested containers; a container that
// (directly or not) holds itself would recurse forever, so depth is bounded.
constexpr int kMaxDepth = 512;

bool equalValues(const Value& a, const Value& b, int depth);

bool equalDictionaries(const Dictionary& a, const Dictionary& b, int depth) {
    if (a.sameAs(b)) return true;
    if (a.size() != b.size() || depth > kMaxDepth) return false;
    for (const auto& [key, value] : a) {
        const Value* other = b.find(key);
        if (!other || !equalValues(value, *other, depth + 1)) return false;
    }
    return true;
}

bool equalLists(const List& a, const List& b, int depth) {
    if (a.sameAs(b)) return true;
    if (a.size() != b.size() || depth > kMaxDepth) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!equalValues(a[i], b[i], depth + 1)) return false;
    }
    return true;
}

bool equalValues(const Value& a, const Value& b, int depth) {
    using K = Value::Kind;
    const K ka = a.kind();
    const K kb = b.kind();
    if ((ka == K::Int || ka == K::UInt) && (kb == K::Int || kb == K::UInt)) {
        if (ka == kb) return a.data() == b.data();
        const int64_t s = ka == K::Int ? std::get<int64_t>(a.data()) : std::get<int64_t>(b.data());
        const uint64_t u =
            ka == K::UInt ? std::get<uint64_t>(a.data()) : std::get<uint64_t>(b.data());
        return s >= 0 && static_cast<uint64_t>(s) == u;
    }
    if (ka != kb) return false;
    switch (ka) {
    case K::Double: {
        const double x = std::get<double>(a.data());
        const double y = std::get<double>(b.data());
        return x == y || (std::isnan(x) && std::isnan(y));
    }
    case K::Dictionary:
        return equalDictionaries(*a.dictionary(), *b.dictionary(), depth);
    case K::List:
        return equalLists(*a.list(), *b.list(), depth);
    default:
        return a.data() == b.data();
    }
}

} // namespace

bool operator==(const Dictionary& a, const Dictionary& b) { return equalDictionaries(a, b, 0); }

// ---- List -------------------------------------------------------------------

List::List() : items_(std::make_shared<std::vector<Value>>()) {}
List::List(std::initializer_list<Value> init)
    : items_(std::make_shared<std::vector<Value>>(init)) {}
std::size_t List::size() const { return items_->size(); }
bool List::empty() const { return items_->empty(); }
const Value& List::operator[](std::size_t i) const { return (*items_)[i]; }
Value& List::operator[](std::size_t i) { return (*items_)[i]; }
void List::push_back(Value value) { items_->push_back(std::move(value)); }
List List::copy() const {
    List out;
    *out.items_ = *items_;
    return out;
}
std::vector<Value>::iterator List::begin() { return items_->begin(); }
std::vector<Value>::iterator List::end() { return items_->end(); }
std::vector<Value>::const_iterator List::begin() const { return items_->cbegin(); }
std::vector<Value>::const_iterator List::end() const { return items_->cend(); }

bool operator==(const List& a, const List& b) { return equalLists(a, b, 0); }

// ---- Value ------------------------------------------------------------------

Value::Value(std::shared_ptr<HostObject> o) {
    if (o) {
        data_ = std::move(o);
    }
}

std::shared_ptr<HostObject> Value::object() const {
    const auto* o = std::get_if<std::shared_ptr<HostObject>>(&data_);
    return o ? *o : nullptr;
}

bool Value::isNumber() const {
    const Kind k = kind();
    return k == Kind::Bool || k == Kind::Int || k == Kind::UInt || k == Kind::Double;
}

bool Value::isFiniteNumber() const {
    if (!isNumber()) return false;
    const double* d = std::get_if<double>(&data_);
    return !d || std::isfinite(*d);
}

namespace {

constexpr int64_t kInt64Max = std::numeric_limits<int64_t>::max();
constexpr int64_t kInt64Min = std::numeric_limits<int64_t>::min();

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::size_t skipBlanks(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && isBlank(s[i]))
        ++i;
    return i;
}

int64_t saturatingTrunc(double d) {
    if (std::isnan(d)) return 0;
    // 2^63 is exactly representable; anything at or beyond it saturates.
    if (d >= 9223372036854775808.0) return kInt64Max;
    if (d <= -9223372036854775808.0) return kInt64Min;
    return static_cast<int64_t>(d);
}

int64_t leadingInteger(std::string_view s) {
    std::size_t i = skipBlanks(s);
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    uint64_t magnitude = 0;
    bool overflow = false;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        const uint64_t digit = static_cast<uint64_t>(s[i] - '0');
        if (magnitude > (UINT64_MAX - digit) / 10) {
            overflow = true;
            break;
        }
        magnitude = magnitude * 10 + digit;
    }
    if (negative) {
        if (overflow || magnitude > static_cast<uint64_t>(kInt64Max) + 1) return kInt64Min;
        return magnitude == static_cast<uint64_t>(kInt64Max) + 1 ? kInt64Min
                                                                 : -static_cast<int64_t>(magnitude);
    }
    if (overflow || magnitude > static_cast<uint64_t>(kInt64Max)) return kInt64Max;
    return static_cast<int64_t>(magnitude);
}

double leadingDouble(std::string_view s) {
    std::size_t i = skipBlanks(s);
    if (i < s.size() && s[i] == '+') ++i;
    double out = 0.0;
    const auto result = std::from_chars(s.data() + i, s.data() + s.size(), out);
    if (result.ec == std::errc::result_out_of_range) {
        // from_chars leaves `out` alone on overflow; keep the sign's direction.
        const bool negative = i < s.size() && s[i] == '-';
        return negative ? -std::numeric_limits<double>::infinity()
                        : std::numeric_limits<double>::infinity();
    }
    return result.ec == std::errc() ? out : 0.0;
}

bool leadingBoolean(std::string_view s) {
    std::size_t i = skipBlanks(s);
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    while (i < s.size() && s[i] == '0')
        ++i;
    if (i >= s.size()) return false;
    const char c = s[i];
    return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

void appendText(std::string& out, const Value& v, int depth);

void appendQuoted(std::string& out, const std::string& s) {
    out += '"';
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    out += '"';
}

void appendText(std::string& out, const Value& v, int depth) {
    if (depth > kMaxDepth) {
        out += "...";
        return;
    }
    if (const Dictionary* d = v.dictionary()) {
        out += '{';
        bool first = true;
        for (const auto& [key, value] : *d) {
            if (!first) out += ", ";
            first = false;
            appendQuoted(out, key);
            out += ": ";
            if (value.isString()) {
                appendQuoted(out, *value.string());
            } else {
                appendText(out, value, depth + 1);
            }
        }
        out += '}';
        return;
    }
    if (const List* l = v.list()) {
        out += '[';
        bool first = true;
        for (const Value& item : *l) {
            if (!first) out += ", ";
            first = false;
            if (item.isString()) {
                appendQuoted(out, *item.string());
            } else {
                appendText(out, item, depth + 1);
            }
        }
        out += ']';
        return;
    }
    out += v.text();
}

} // namespace

int64_t Value::integerReading() const {
    switch (kind()) {
    case Kind::Bool:
        return std::get<bool>(data_) ? 1 : 0;
    case Kind::Int:
        return std::get<int64_t>(data_);
    case Kind::UInt: {
        const uint64_t u = std::get<uint64_t>(data_);
        return u > static_cast<uint64_t>(kInt64Max) ? kInt64Max : static_cast<int64_t>(u);
    }
    case Kind::Double:
        return saturatingTrunc(std::get<double>(data_));
    case Kind::String:
        return leadingInteger(std::get<std::string>(data_));
    default:
        return 0;
    }
}

int32_t Value::int32Reading() const {
    const int64_t v = integerReading();
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

double Value::doubleReading() const {
    switch (kind()) {
    case Kind::Bool:
        return std::get<bool>(data_) ? 1.0 : 0.0;
    case Kind::Int:
        return static_cast<double>(std::get<int64_t>(data_));
    case Kind::UInt:
        return static_cast<double>(std::get<uint64_t>(data_));
    case Kind::Double:
        return std::get<double>(data_);
    case Kind::String:
        return leadingDouble(std::get<std::string>(data_));
    default:
        return 0.0;
    }
}

bool Value::booleanReading() const {
    switch (kind()) {
    case Kind::Bool:
        return std::get<bool>(data_);
    case Kind::Int:
        return std::get<int64_t>(data_) != 0;
    case Kind::UInt:
        return std::get<uint64_t>(data_) != 0;
    case Kind::Double:
        return std::get<double>(data_) != 0.0;
    case Kind::String:
        return leadingBoolean(std::get<std::string>(data_));
    default:
        return false;
    }
}

std::string Value::text() const {
    switch (kind()) {
    case Kind::None:
        return "(null)";
    case Kind::Null:
        return "<null>";
    case Kind::Bool:
        return std::get<bool>(data_) ? "1" : "0";
    case Kind::Int:
        return std::to_string(std::get<int64_t>(data_));
    case Kind::UInt:
        return std::to_string(std::get<uint64_t>(data_));
    case Kind::Double:
        return formatGeneral(std::get<double>(data_));
    case Kind::String:
        return std::get<std::string>(data_);
    case Kind::Object:
        return "<object>";
    case Kind::Dictionary:
    case Kind::List:
        break;
    }
    std::string out;
    appendText(out, *this, 0);
    return out;
}

bool operator==(const Value& a, const Value& b) { return equalValues(a, b, 0); }

Value Value::deepCopy() const {
    if (const Dictionary* d = dictionary()) {
        Dictionary out;
        for (const auto& [key, value] : *d)
            out.set(key, value.deepCopy());
        return out;
    }
    if (const List* l = list()) {
        List out;
        for (const Value& item : *l)
            out.push_back(item.deepCopy());
        return out;
    }
    return *this;
}

std::string formatGeneral(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 16);
    return std::string(buf, r.ptr);
}

std::string formatFixed(double value, int decimals) {
    if (std::isnan(value)) return std::signbit(value) ? "-nan" : "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    char buf[400];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    return std::string(buf, r.ptr);
}

} // namespace playgraph
