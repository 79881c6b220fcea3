#pragma once

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "playgraph/Config.hpp"
#include "playgraph/OrderedMap.hpp"

namespace playgraph::inline v1 {

class Value;

/// Base class of the opaque host objects a `Value` can carry (for example a
/// `QZPlaygraphParams` inside a segment's user info). The library only
/// stores, passes on and type-tests them.
class PLAYGRAPH_API HostObject {
public:
    virtual ~HostObject() = default;
};

/// The null marker: a value that a dictionary can hold and that means "no
/// value" (as a decoded JSON null). Distinct from an absent key.
struct PLAYGRAPH_API Null {
    bool operator==(const Null&) const = default;
};

namespace detail {
// The shared blocks behind the handles, defined with their operations in
// Value.cpp: a reference count (atomic: handles to one container may be
// copied and dropped by concurrent readers) and the content.
struct DictionaryBlock;
struct ListBlock;

// An immutable string shared by the values that copy it.
struct PLAYGRAPH_API StringBox {
    std::atomic<uint32_t> refs{1};
    std::string text;
};

// A host object, held the same way.
struct PLAYGRAPH_API HostBox {
    std::atomic<uint32_t> refs{1};
    std::shared_ptr<HostObject> object;
};
} // namespace detail

/// A string-keyed dictionary with shared reference semantics.
///
/// A `Dictionary` is a handle: copying it shares the container, so a change
/// made through one copy shows through all of them (this is how nested
/// dictionaries are shared between a caller and an editable playgraph).
/// `copy()` makes a new container holding the same values (a one-level
/// copy). Entries enumerate in insertion order. Lookups of absent keys
/// return none / nullptr; nothing here throws except on allocation failure.
///
/// The container is one block: a reference count, the map's header and,
/// when the size is known at creation (`withCapacity`, `copy`, an
/// initializer list, the JSON reader), the entries themselves.
///
/// Threads: a container may be read from several threads at once while no
/// thread changes it; a change, through any handle that shares the container,
/// must not overlap any other access to it. Copying and dropping handles
/// (and values holding them) is safe from any thread: the count is atomic.
/// Give another thread a `Value::deepCopy()` rather than a shared handle.
///
/// A moved-from handle is valid and empty; it shares no container until a
/// change (`set`, `reserve`) gives it a new one, or it is assigned.
class PLAYGRAPH_API Dictionary {
public:
    using Map = OrderedMap<Value>;

    /// A new, empty container.
    Dictionary();
    Dictionary(std::initializer_list<std::pair<std::string, Value>> init);
    /// A new, empty container with room for `n` entries allocated together
    /// with it (one allocation, no spare room when `n` entries are set).
    static Dictionary withCapacity(std::size_t n);

    Dictionary(const Dictionary& other) noexcept;
    Dictionary(Dictionary&& other) noexcept : block_(other.block_) { other.block_ = nullptr; }
    Dictionary& operator=(const Dictionary& other) noexcept;
    Dictionary& operator=(Dictionary&& other) noexcept;
    ~Dictionary();

    std::size_t size() const;
    bool empty() const;
    bool contains(std::string_view key) const;
    /// The value under `key`, or nullptr when absent. The mutable form
    /// changes nothing by itself: threads may call it concurrently while no
    /// thread writes through its result.
    [[nodiscard]] const Value* find(std::string_view key) const;
    [[nodiscard]] Value* find(std::string_view key);
    /// The value under `key`, or none when absent.
    [[nodiscard]] Value get(std::string_view key) const;
    /// Inserts or replaces; a replaced key keeps its place in the order.
    void set(std::string_view key, Value value);
    /// Removes `key`; false when it was not there.
    [[nodiscard]] bool erase(std::string_view key);
    std::vector<std::string> keys() const;
    /// Makes room for `n` entries (filling a new dictionary of known size
    /// then allocates its storage once, at exactly that size).
    void reserve(std::size_t n);

    /// A new container with the same entries; nested containers are shared.
    [[nodiscard]] Dictionary copy() const;
    /// True when both handles name the same container (two moved-from
    /// handles, which name none, count as the same).
    bool sameAs(const Dictionary& other) const { return block_ == other.block_; }

    Map::iterator begin();
    Map::iterator end();
    Map::const_iterator begin() const;
    Map::const_iterator end() const;

    /// Deep, order-insensitive comparison of the contents.
    friend PLAYGRAPH_API bool operator==(const Dictionary& a, const Dictionary& b);

private:
    explicit Dictionary(detail::DictionaryBlock* block) noexcept : block_(block) {}
    // The map to read (a shared empty one for a moved-from handle) and the
    // map to change (allocated, with room for `capacity`, when missing).
    Map& map() const;
    Map& changedMap(std::size_t capacity);

    detail::DictionaryBlock* block_;
};

/// An ordered list with shared reference semantics (see `Dictionary`).
///
/// Threads and moved-from handles: as for `Dictionary`.
class PLAYGRAPH_API List {
public:
    List();
    List(std::initializer_list<Value> init);

    List(const List& other) noexcept;
    List(List&& other) noexcept : block_(other.block_) { other.block_ = nullptr; }
    List& operator=(const List& other) noexcept;
    List& operator=(List&& other) noexcept;
    ~List();

    std::size_t size() const;
    bool empty() const;
    const Value& operator[](std::size_t i) const;
    Value& operator[](std::size_t i);
    void push_back(Value value);
    /// Makes room for `n` items.
    void reserve(std::size_t n);
    [[nodiscard]] List copy() const;
    bool sameAs(const List& other) const { return block_ == other.block_; }

    std::vector<Value>::iterator begin();
    std::vector<Value>::iterator end();
    std::vector<Value>::const_iterator begin() const;
    std::vector<Value>::const_iterator end() const;

    friend PLAYGRAPH_API bool operator==(const List& a, const List& b);

private:
    std::vector<Value>& items() const;
    std::vector<Value>& changedItems();

    detail::ListBlock* block_;
};

/// The dynamic value of playgraph dictionaries.
///
/// Kinds: none (no value: what an absent key reads as), the null marker,
/// bool, signed and unsigned 64-bit integers, double, string, dictionary,
/// list, and an opaque host object. A number keeps the kind it was made
/// with, so integer and double writers stay distinguishable. Dictionaries
/// and lists are shared handles (see `Dictionary`).
///
/// A value is 16 bytes: its kind and either the number itself or a pointer
/// to a shared block. Strings are immutable and shared between copies of a
/// value (copying a value never copies its text); host objects likewise.
///
/// The readings (`integerReading`, `int32Reading`, `doubleReading`,
/// `booleanReading`, `text`) never throw: a value without a reading gives
/// the documented default. They read a boolean as 0 or 1 (so an annotation
/// stored as `true` reads as set), although a boolean is not a number
/// (`isNumber`).
///
/// Threads: as for `Dictionary`: reading one value (and the containers it
/// shares) from several threads is safe while nothing changes it.
class PLAYGRAPH_API Value {
public:
    enum class Kind { None, Null, Bool, Int, UInt, Double, String, Dictionary, List, Object };

    /// What `data()` returns: the stored value by kind, in the order of
    /// `Kind` (containers, strings and host objects by pointer).
    using Data = std::variant<std::monostate, Null, bool, int64_t, uint64_t, double,
                              const std::string*, const playgraph::Dictionary*,
                              const playgraph::List*, const std::shared_ptr<HostObject>*>;

    Value() noexcept : kind_(Kind::None) { p_.i = 0; }
    Value(Null) noexcept : kind_(Kind::Null) { p_.i = 0; }
    Value(std::nullptr_t) = delete; // ambiguous: use Value() or Null{}
    Value(bool b) noexcept : kind_(Kind::Bool) {
        p_.i = 0;
        p_.b = b;
    }
    template <class T>
    requires(std::is_integral_v<T> && !std::is_same_v<T, bool> && std::is_signed_v<T>) Value(T v)
    noexcept : kind_(Kind::Int) { p_.i = static_cast<int64_t>(v); }
    template <class T>
    requires(std::is_integral_v<T> && !std::is_same_v<T, bool> && std::is_unsigned_v<T>) Value(T v)
    noexcept : kind_(Kind::UInt) { p_.u = static_cast<uint64_t>(v); }
    Value(double d) noexcept : kind_(Kind::Double) { p_.d = d; }
    Value(float f) noexcept : kind_(Kind::Double) { p_.d = static_cast<double>(f); }
    Value(const char* s) : Value(std::string(s)) {}
    Value(std::string s);
    Value(std::string_view s) : Value(std::string(s)) {}
    Value(Dictionary d) noexcept : kind_(Kind::Dictionary) {
        ::new (static_cast<void*>(&p_.dict)) playgraph::Dictionary(std::move(d));
    }
    Value(List l) noexcept : kind_(Kind::List) {
        ::new (static_cast<void*>(&p_.list)) playgraph::List(std::move(l));
    }
    Value(std::shared_ptr<HostObject> o);
    template <class T>
    requires(std::is_base_of_v<HostObject, T>) Value(std::shared_ptr<T> o)
        : Value(std::static_pointer_cast<HostObject>(std::move(o))) {}

    Value(const Value& other) noexcept : kind_(other.kind_) {
        if (kind_ < Kind::String) {
            copyPlain(other);
        } else {
            copyShared(other);
        }
    }
    Value(Value&& other) noexcept : kind_(other.kind_) { takeFrom(other); }
    Value& operator=(const Value& other) noexcept {
        if (this != &other) {
            Value copy(other);
            *this = std::move(copy);
        }
        return *this;
    }
    Value& operator=(Value&& other) noexcept {
        if (this != &other) {
            // `other` may live inside a container that this value holds last:
            // take it before letting go of the old content.
            Value taken(std::move(other));
            release();
            kind_ = taken.kind_;
            takeFrom(taken);
        }
        return *this;
    }
    ~Value() { release(); }

    /// The null marker.
    static Value null() { return Value(Null{}); }

    Kind kind() const { return kind_; }
    bool isNone() const { return kind() == Kind::None; }
    bool isNull() const { return kind() == Kind::Null; }
    /// None or the null marker: both mean "absent" to the readers.
    bool isAbsent() const { return isNone() || isNull(); }
    bool isBool() const { return kind() == Kind::Bool; }
    bool isInteger() const { return kind() == Kind::Int || kind() == Kind::UInt; }
    bool isDouble() const { return kind() == Kind::Double; }
    /// Integer or double. A boolean is not a number: the dictionary format
    /// knows no booleans, so wherever the library expects a number (a time,
    /// a viewable id, "main", "autoplayType", "fixedPlaybackRate") a boolean
    /// is a value of the wrong kind, read as such a value is (mostly as
    /// absent) and reported by `validate`.
    bool isNumber() const;
    /// A number that is not a not-a-number or infinite double.
    bool isFiniteNumber() const;
    bool isString() const { return kind() == Kind::String; }
    bool isDictionary() const { return kind() == Kind::Dictionary; }
    bool isList() const { return kind() == Kind::List; }
    bool isObject() const { return kind() == Kind::Object; }

    /// Direct access; nullptr when the value is of another kind.
    const std::string* string() const { return isString() ? &p_.s->text : nullptr; }
    const Dictionary* dictionary() const { return isDictionary() ? &p_.dict : nullptr; }
    Dictionary* dictionary() { return isDictionary() ? &p_.dict : nullptr; }
    const List* list() const { return isList() ? &p_.list : nullptr; }
    /// The host object, or an empty pointer.
    std::shared_ptr<HostObject> object() const;
    /// The host object if it is a `T`, else an empty pointer.
    template <class T> std::shared_ptr<T> objectAs() const {
        return std::dynamic_pointer_cast<T>(object());
    }
    /// The stored value itself, for exact access (no conversion), as a
    /// `Data` variant whose index is the kind. Pointers in it stay valid
    /// while this value is unchanged.
    Data data() const;

    /// Integer reading, saturating to the signed 64-bit range. Numbers are
    /// truncated toward zero (not-a-number reads 0); strings read their
    /// leading decimal integer after blanks ("42abc" is 42, "x" is 0).
    /// Other kinds read 0.
    int64_t integerReading() const;
    /// `integerReading()` brought into the signed 32-bit range by saturation.
    int32_t int32Reading() const;
    /// Double reading: numbers as they are; strings by their leading decimal
    /// number (0 when there is none); other kinds 0.
    double doubleReading() const;
    /// Boolean reading: numbers are true when non-zero; a string is true
    /// when, after leading blanks, an optional sign and leading zeros, it
    /// begins with Y, y, T, t or a digit 1-9. Other kinds read false.
    bool booleanReading() const;
    /// The "%@" text form: strings as they are, integers in decimal, doubles
    /// in general notation with at most 16 significant digits, booleans as
    /// 1 and 0, the null marker as "<null>", none as "(null)"; containers in
    /// a compact JSON-like form; containers nested deeper than 513 levels
    /// (a container holding itself, say) show as "..." there.
    std::string text() const;

    /// A copy that shares no dictionary or list with this value (host
    /// objects stay shared). Useful for snapshots before edits.
    Value deepCopy() const;

    /// Deep comparison: same kind and value; signed and unsigned integers
    /// compare numerically; not-a-number equals not-a-number; host objects
    /// compare by identity; dictionaries ignore order. Containers nested
    /// deeper than 513 levels compare unequal, which keeps a container that
    /// holds itself from recursing forever.
    friend PLAYGRAPH_API bool operator==(const Value& a, const Value& b);

private:
    // Kinds from String on hold a shared block; the ones before are plain.
    union Payload {
        Payload() noexcept : i(0) {}
        ~Payload() {}
        bool b;
        int64_t i;
        uint64_t u;
        double d;
        detail::StringBox* s;
        playgraph::Dictionary dict;
        playgraph::List list;
        detail::HostBox* o;
    };

    // Copies the payload of `other` (kind_ already set to other's).
    void copyPlain(const Value& other) noexcept {
        switch (kind_) {
        case Kind::Bool:
            p_.b = other.p_.b;
            break;
        case Kind::UInt:
            p_.u = other.p_.u;
            break;
        case Kind::Double:
            p_.d = other.p_.d;
            break;
        case Kind::String:
            p_.s = other.p_.s;
            break;
        case Kind::Object:
            p_.o = other.p_.o;
            break;
        default:
            p_.i = other.p_.i;
        }
    }
    void copyShared(const Value& other) noexcept;
    // Moves `other`'s payload here (kind_ already set to other's) and leaves
    // `other` none.
    void takeFrom(Value& other) noexcept {
        switch (kind_) {
        case Kind::Dictionary:
            ::new (static_cast<void*>(&p_.dict)) playgraph::Dictionary(std::move(other.p_.dict));
            other.p_.dict.~Dictionary();
            break;
        case Kind::List:
            ::new (static_cast<void*>(&p_.list)) playgraph::List(std::move(other.p_.list));
            other.p_.list.~List();
            break;
        default:
            copyPlain(other);
        }
        other.kind_ = Kind::None;
        other.p_.i = 0;
    }
    // Lets go of the payload (the kind is left as it was).
    void release() noexcept {
        if (kind_ >= Kind::String) releaseShared();
    }
    void releaseShared() noexcept;

    Kind kind_;
    Payload p_;
};

/// The "%f" form of a double: fixed notation, six decimals.
PLAYGRAPH_API std::string formatFixed(double value, int decimals = 6);
/// The general form used for numbers in texts: at most 16 significant digits.
PLAYGRAPH_API std::string formatGeneral(double value);

} // namespace playgraph::inline v1
