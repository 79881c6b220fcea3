#include "playgraph/Value.hpp"

#include "Compat.hpp"
#include "DictionaryFormat.hpp"

#include <charconv>
#include <cmath>
#include <limits>
#include <new>
#include <stdexcept>

namespace playgraph::inline v1 {

// ---- Shared blocks -----------------------------------------------------------

namespace detail {

// A dictionary's container: the map, whose header leaves room for the
// reference count (40 bytes together), followed in the same allocation by
// the entries' first storage when the size is known at creation.
// The map's storage is lent, so the block is never moved.
struct DictionaryBlock : OrderedMap<Value> {
    DictionaryBlock(value_type* storage, std::size_t capacity)
        : OrderedMap<Value>(storage, capacity) {}
    DictionaryBlock(DictionaryBlock&&) = delete;
    DictionaryBlock& operator=(DictionaryBlock&&) = delete;
    std::atomic<uint32_t> refs{1};
};

struct ListBlock {
    std::atomic<uint32_t> refs{1};
    std::vector<Value> items;
};

} // namespace detail

namespace {

using Entry = Dictionary::Map::value_type;

template <class Block> void retain(Block* block) noexcept {
    if (block) block->refs.fetch_add(1, std::memory_order_relaxed);
}

// Drops one reference; the last one destroys the block.
template <class Block> bool dropReference(Block* block) noexcept {
    return block && block->refs.fetch_sub(1, std::memory_order_acq_rel) == 1;
}

detail::DictionaryBlock* newDictionaryBlock(std::size_t capacity) {
    if (capacity > (SIZE_MAX - sizeof(detail::DictionaryBlock)) / sizeof(Entry)) {
        throw std::length_error("Dictionary: too many entries");
    }
    void* raw = ::operator new(sizeof(detail::DictionaryBlock) + capacity * sizeof(Entry));
    auto* storage =
        reinterpret_cast<Entry*>(static_cast<char*>(raw) + sizeof(detail::DictionaryBlock));
    try {
        return ::new (raw) detail::DictionaryBlock(storage, capacity);
    } catch (...) {
        ::operator delete(raw);
        throw;
    }
}

void releaseBlock(detail::DictionaryBlock* block) noexcept {
    if (!dropReference(block)) return;
    block->~DictionaryBlock();
    ::operator delete(block);
}

void releaseBlock(detail::ListBlock* block) noexcept {
    if (dropReference(block)) delete block;
}

// A handle taking another's block: the new one is retained first, so that
// assigning a handle to itself (or to one its old block keeps alive) is safe.
template <class Block> void assignHandle(Block*& mine, Block* theirs) noexcept {
    retain(theirs);
    releaseBlock(mine);
    mine = theirs;
}

// A handle taking another's block over, leaving that one empty.
template <class Block> void moveHandle(Block*& mine, Block*& theirs) noexcept {
    if (&mine == &theirs) return;
    Block* old = mine;
    mine = theirs;
    theirs = nullptr;
    releaseBlock(old);
}

} // namespace

// ---- Dictionary -------------------------------------------------------------

Dictionary::Dictionary() : block_(newDictionaryBlock(0)) {}

Dictionary::Dictionary(std::initializer_list<std::pair<std::string, Value>> init)
    : block_(newDictionaryBlock(init.size())) {
    try {
        for (const auto& [key, value] : init)
            block_->set(key, value);
    } catch (...) {
        releaseBlock(block_);
        throw;
    }
}

Dictionary Dictionary::withCapacity(std::size_t n) { return Dictionary(newDictionaryBlock(n)); }

Dictionary::Dictionary(const Dictionary& other) noexcept : block_(other.block_) { retain(block_); }

Dictionary& Dictionary::operator=(const Dictionary& other) noexcept {
    assignHandle(block_, other.block_);
    return *this;
}

Dictionary& Dictionary::operator=(Dictionary&& other) noexcept {
    moveHandle(block_, other.block_);
    return *this;
}

Dictionary::~Dictionary() { releaseBlock(block_); }

// A moved-from handle has no block: it reads as this empty map, which
// nothing changes, and gets a block of its own at its first change.
Dictionary::Map& Dictionary::map() const {
    static Dictionary::Map empty;
    return block_ ? *block_ : empty;
}

Dictionary::Map& Dictionary::changedMap(std::size_t capacity) {
    if (!block_) block_ = newDictionaryBlock(capacity);
    return *block_;
}

std::size_t Dictionary::size() const { return map().size(); }
bool Dictionary::empty() const { return map().empty(); }
bool Dictionary::contains(std::string_view key) const { return map().contains(key); }
const Value* Dictionary::find(std::string_view key) const { return std::as_const(map()).find(key); }
Value* Dictionary::find(std::string_view key) { return map().find(key); }

Value Dictionary::get(std::string_view key) const {
    const Value* v = std::as_const(map()).find(key);
    return v ? *v : Value();
}

void Dictionary::set(std::string_view key, Value value) {
    changedMap(1).set(key, std::move(value));
}
bool Dictionary::erase(std::string_view key) { return block_ && block_->erase(key); }
std::vector<std::string> Dictionary::keys() const { return map().keys(); }
void Dictionary::reserve(std::size_t n) { changedMap(n).reserve(n); }

Dictionary Dictionary::copy() const {
    const Map& from = map();
    Dictionary out = withCapacity(from.size());
    for (const auto& [key, value] : from)
        out.block_->set(key, value);
    return out;
}

Dictionary::Map::iterator Dictionary::begin() { return map().begin(); }
Dictionary::Map::iterator Dictionary::end() { return map().end(); }
Dictionary::Map::const_iterator Dictionary::begin() const { return std::as_const(map()).begin(); }
Dictionary::Map::const_iterator Dictionary::end() const { return std::as_const(map()).end(); }

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
    const Value::Data x = a.data();
    const Value::Data y = b.data();
    if ((ka == K::Int || ka == K::UInt) && (kb == K::Int || kb == K::UInt)) {
        if (ka == kb) return x == y;
        const int64_t s = std::get<int64_t>(ka == K::Int ? x : y);
        const uint64_t u = std::get<uint64_t>(ka == K::UInt ? x : y);
        return s >= 0 && static_cast<uint64_t>(s) == u;
    }
    if (ka != kb) return false;
    switch (ka) {
    case K::Double: {
        const double p = std::get<double>(x);
        const double q = std::get<double>(y);
        return p == q || (std::isnan(p) && std::isnan(q));
    }
    case K::String:
        return *a.string() == *b.string();
    case K::Dictionary:
        return equalDictionaries(*a.dictionary(), *b.dictionary(), depth);
    case K::List:
        return equalLists(*a.list(), *b.list(), depth);
    case K::Object:
        return a.object() == b.object();
    default:
        return x == y;
    }
}

} // namespace

bool operator==(const Dictionary& a, const Dictionary& b) { return equalDictionaries(a, b, 0); }

// ---- List -------------------------------------------------------------------

List::List() : block_(new detail::ListBlock) {}
List::List(std::initializer_list<Value> init) : block_(new detail::ListBlock) {
    try {
        block_->items.assign(init.begin(), init.end());
    } catch (...) {
        delete block_;
        throw;
    }
}
List::List(const List& other) noexcept : block_(other.block_) { retain(block_); }
List& List::operator=(const List& other) noexcept {
    assignHandle(block_, other.block_);
    return *this;
}
List& List::operator=(List&& other) noexcept {
    moveHandle(block_, other.block_);
    return *this;
}
List::~List() { releaseBlock(block_); }
// As for a dictionary: a moved-from list reads as empty and gets a block of
// its own at its first change.
std::vector<Value>& List::items() const {
    static std::vector<Value> empty;
    return block_ ? block_->items : empty;
}
std::vector<Value>& List::changedItems() {
    if (!block_) block_ = new detail::ListBlock;
    return block_->items;
}
std::size_t List::size() const { return items().size(); }
bool List::empty() const { return items().empty(); }
const Value& List::operator[](std::size_t i) const { return items()[i]; }
Value& List::operator[](std::size_t i) { return items()[i]; }
void List::push_back(Value value) { changedItems().push_back(std::move(value)); }
void List::reserve(std::size_t n) { changedItems().reserve(n); }
List List::copy() const {
    List out;
    out.block_->items = items();
    return out;
}
std::vector<Value>::iterator List::begin() { return items().begin(); }
std::vector<Value>::iterator List::end() { return items().end(); }
std::vector<Value>::const_iterator List::begin() const { return items().cbegin(); }
std::vector<Value>::const_iterator List::end() const { return items().cend(); }

bool operator==(const List& a, const List& b) { return equalLists(a, b, 0); }

// ---- Value ------------------------------------------------------------------

Value::Value(std::string s) : kind_(Kind::String) {
    p_.s = new detail::StringBox;
    p_.s->text = std::move(s);
}

Value::Value(std::shared_ptr<HostObject> o) : kind_(Kind::None) {
    if (o) {
        p_.o = new detail::HostBox;
        p_.o->object = std::move(o);
        kind_ = Kind::Object;
    }
}

void Value::copyShared(const Value& other) noexcept {
    switch (kind_) {
    case Kind::String:
        p_.s = other.p_.s;
        retain(p_.s);
        break;
    case Kind::Object:
        p_.o = other.p_.o;
        retain(p_.o);
        break;
    case Kind::Dictionary:
        ::new (static_cast<void*>(&p_.dict)) Dictionary(other.p_.dict);
        break;
    case Kind::List:
        ::new (static_cast<void*>(&p_.list)) List(other.p_.list);
        break;
    default:
        copyPlain(other);
    }
}

void Value::releaseShared() noexcept {
    switch (kind_) {
    case Kind::String:
        if (dropReference(p_.s)) delete p_.s;
        break;
    case Kind::Object:
        if (dropReference(p_.o)) delete p_.o;
        break;
    case Kind::Dictionary:
        p_.dict.~Dictionary();
        break;
    case Kind::List:
        p_.list.~List();
        break;
    default:
        break;
    }
}

Value::Data Value::data() const {
    switch (kind_) {
    case Kind::None:
        return std::monostate{};
    case Kind::Null:
        return Null{};
    case Kind::Bool:
        return p_.b;
    case Kind::Int:
        return p_.i;
    case Kind::UInt:
        return p_.u;
    case Kind::Double:
        return p_.d;
    case Kind::String:
        return &p_.s->text;
    case Kind::Dictionary:
        return &p_.dict;
    case Kind::List:
        return &p_.list;
    case Kind::Object:
        return &p_.o->object;
    }
    return std::monostate{};
}

std::shared_ptr<HostObject> Value::object() const { return isObject() ? p_.o->object : nullptr; }

bool Value::isNumber() const {
    const Kind k = kind();
    return k == Kind::Int || k == Kind::UInt || k == Kind::Double;
}

bool Value::isFiniteNumber() const {
    if (!isNumber()) return false;
    return kind_ != Kind::Double || std::isfinite(p_.d);
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
    const auto result = compat::fromChars(s.data() + i, s.data() + s.size(), out);
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
        return p_.b ? 1 : 0;
    case Kind::Int:
        return p_.i;
    case Kind::UInt: {
        const uint64_t u = p_.u;
        return u > static_cast<uint64_t>(kInt64Max) ? kInt64Max : static_cast<int64_t>(u);
    }
    case Kind::Double:
        return format::saturatingTrunc(p_.d);
    case Kind::String:
        return leadingInteger(p_.s->text);
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
        return p_.b ? 1.0 : 0.0;
    case Kind::Int:
        return static_cast<double>(p_.i);
    case Kind::UInt:
        return static_cast<double>(p_.u);
    case Kind::Double:
        return p_.d;
    case Kind::String:
        return leadingDouble(p_.s->text);
    default:
        return 0.0;
    }
}

bool Value::booleanReading() const {
    switch (kind()) {
    case Kind::Bool:
        return p_.b;
    case Kind::Int:
        return p_.i != 0;
    case Kind::UInt:
        return p_.u != 0;
    case Kind::Double:
        return p_.d != 0.0;
    case Kind::String:
        return leadingBoolean(p_.s->text);
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
        return p_.b ? "1" : "0";
    case Kind::Int:
        return std::to_string(p_.i);
    case Kind::UInt:
        return std::to_string(p_.u);
    case Kind::Double:
        return formatGeneral(p_.d);
    case Kind::String:
        return p_.s->text;
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
        Dictionary out = Dictionary::withCapacity(d->size());
        for (const auto& [key, value] : *d)
            out.set(key, value.deepCopy());
        return out;
    }
    if (const List* l = list()) {
        List out;
        out.reserve(l->size());
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
    const auto r = compat::toChars(buf, buf + sizeof buf, value, std::chars_format::general, 16);
    return std::string(buf, r.ptr);
}

std::string formatFixed(double value, int decimals) {
    if (std::isnan(value)) return std::signbit(value) ? "-nan" : "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    char buf[400];
    const auto r =
        compat::toChars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    return std::string(buf, r.ptr);
}

} // namespace playgraph::inline v1
