#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <Poco/Timestamp.h>

#include "Orvik_BACnet/BACnetDataType.h"
#include "Orvik_BACnet/BACnetValue.h"

namespace Orvik::BACnet
{

namespace WS
{
class MarkupFactory;
}
class LocalTimeConverter;

/// One typed BACnet value: no value (NULL), a single element, or an array or list of elements
/// (BACnetValue). It carries its declared datatype (BACnetDataType) and structure.
///
/// Three text forms:
///   - getText / setText: the stored form, written into the configuration database and read back at the
///     next start. getText followed by setText gives an equal container for every datatype. The
///     grammar is documented, with examples, in ValueText.h.
///   - getString: the display form for consoles and events (strings unquoted, custom separator).
///   - markup: the value written through a markup writer (XML or JSON).
///
/// Getters read the first element (NULL and an empty container read as the BACnet NULL: 0, false, "",
/// default date and time). Numbers convert into each other, saturating; a getter that does not fit the
/// held datatype throws Poco::BadCastException. Setters replace the whole value by one element.
///
/// Cost: elements are held by value in one vector; a list of log records costs one allocation per
/// growth of the vector, none per record (reserve() avoids even those).
class ValueContainer
{
public:
    /// No value; datatype BACNET_DT_NULL, single.
    ValueContainer() = default;
    explicit ValueContainer(const BACnetValue& value);
    virtual ~ValueContainer() = default;
    ValueContainer(const ValueContainer&) = default;
    ValueContainer(ValueContainer&&) noexcept = default;
    ValueContainer& operator=(const ValueContainer&) = default;
    ValueContainer& operator=(ValueContainer&&) noexcept = default;

    // ---- shape ----------------------------------------------------------------------------------

    BACnetDataType getDataType() const { return _dataType; }
    void setDataType(BACnetDataType dataType) { _dataType = dataType; }
    BACNET_DATATYPE_STRUCTURE getStructure() const { return _structure; }
    void setStructure(BACNET_DATATYPE_STRUCTURE structure) { _structure = structure; }
    /// The application tag of the first element, or of the datatype when there is none
    /// (MAX_BACNET_APPLICATION_TAG for a constructed datatype).
    BACNET_APPLICATION_TAG getAppTag() const;

    /// True when there is no value at all (a single value without element; stored text ""). An empty
    /// array or list is not NULL.
    bool isNull() const { return _values.empty() && _structure == BACNET_DTS_SINGLE_VALUE; }
    std::size_t size() const { return _values.size(); }
    /// Element `index` (0-based); throws Poco::RangeException beyond size().
    const BACnetValue& at(std::size_t index) const;
    /// The elements in order.
    const std::vector<BACnetValue>& getBACnetPrimitives() const { return _values; }

    /// Back to no value; the datatype stays.
    void clear();
    void reserve(std::size_t count) { _values.reserve(count); }

    // ---- building -------------------------------------------------------------------------------

    /// One element; the datatype becomes the element's.
    void setValue(const BACnetValue& value);
    template <class T>
    void setValue(const T& value)
    {
        setValue(BACnetValue(value));
    }
    /// Appends an element; a single value becomes a list (an array stays an array). The datatype
    /// becomes the element's when the container had none (BACNET_DT_NULL).
    void append(BACnetValue value);
    /// The elements of `values`, as a list or an array.
    template <class T>
    void setValues(const std::vector<T>& values, BACNET_DATATYPE_STRUCTURE structure = BACNET_DTS_LIST)
    {
        _values.clear();
        _values.reserve(values.size());
        for (const T& v : values)
        {
            _values.emplace_back(v);
        }
        _structure = structure;
        _dataType = BACnetValue(T()).getDataType();
    }

    /// The first element as T. Throws Poco::BadCastException when it holds another datatype and
    /// Poco::NullValueException when there is none.
    template <class T>
    T& getValue(T& out) const
    {
        out = firstOrThrow().get<T>();
        return out;
    }
    /// All elements as T (`out` is cleared first; NULL gives none). Throws Poco::BadCastException when
    /// an element holds another datatype.
    template <class T>
    std::vector<T>& getValues(std::vector<T>& out) const
    {
        out.clear();
        out.reserve(_values.size());
        for (const BACnetValue& v : _values)
        {
            out.push_back(v.get<T>());
        }
        return out;
    }

    // ---- primitive getters (first element) ------------------------------------------------------

    bool getBool() const;
    std::uint32_t getUInt() const;
    std::uint64_t getUInt64() const;
    std::int32_t getInt() const;
    float getReal() const;
    double getDouble() const;
    std::uint32_t getEnum() const;
    std::string getCharString() const;
    DataType::Date getDate() const;
    DataType::Time getTime() const;
    DataType::ObjectIdentifier getObjectIdentifier() const;
    /// Copies the first element's bits into `out`, keeping out's size (missing bits clear). A NULL
    /// value clears `out`. Throws Poco::BadCastException for a value that is not a BIT STRING.
    DataType::BitString& getBitString(DataType::BitString& out) const;
    /// The time stamp of the last element that carries one (log record, date-time, time stamp with date,
    /// trend log upload position); 0 (the epoch) when none does or it is not a calendar date and time.
    /// A local date-time converts through `pConverter` when given (the same result, fewer time zone
    /// look-ups for the pages of one trend log).
    Poco::Timestamp getLastTimeStamp(LocalTimeConverter* pConverter = nullptr) const;

    // ---- primitive setters (one element) --------------------------------------------------------

    /// One BACnet NULL element (stored text "null"); not the same as no value (clear()).
    void setNull();
    void setBool(bool value);
    void setUInt(std::uint64_t value);
    void setInt(std::int64_t value);
    void setReal(float value);
    void setDouble(double value);
    void setEnum(std::uint32_t value);
    void setCharString(const std::string& value);
    void setOctetString(const std::string& octets);
    void setBitString(const DataType::BitString& value);
    void setDate(const DataType::Date& value);
    void setTime(const DataType::Time& value);
    void setObjectIdentifier(const DataType::ObjectIdentifier& value);

    // ---- text forms -----------------------------------------------------------------------------

    /// The stored form (ValueText.h).
    std::string getText() const;
    std::string& getText(std::string& out) const;

    /// Sets the value from its stored form, read as `dataType` (for BACNET_DT_ANY: as the primitive
    /// `appTag`). `acceptList` allows a bracketed list; otherwise only a single value is accepted.
    /// A bracketed text gives a list (BACNET_DTS_LIST); setStructure() makes it an array.
    /// Returns false when the text is not a value of that datatype: the container is then NULL (no
    /// value) with datatype `dataType`.
    bool setText(BACnetDataType dataType, BACNET_APPLICATION_TAG appTag, const std::string& text,
                 bool acceptList);

    /// The display form: elements as in the stored form but character strings unquoted, joined by
    /// `separator`, without brackets; NULL gives "". With `append` the text is appended to `out`,
    /// otherwise it replaces it. Returns `out`.
    std::string& getString(std::string& out, const std::string& separator, bool append) const;
    std::string getString(const std::string& separator = ", ") const;

    // ---- changes --------------------------------------------------------------------------------

    /// Merges `value` into this container and reports whether anything changed:
    ///   arrayIdx BACNET_ARRAY_ALL: the whole value is replaced by `value`;
    ///   arrayIdx 0: the element count becomes value.getUInt() (new elements are the datatype's
    ///               default value);
    ///   arrayIdx n >= 1: element n (1-based) becomes value's first element; n = size() + 1 appends.
    /// Nothing changes (false) for n > size() + 1, for an element of another datatype than this
    /// container's (unless this one has none yet), for a NULL `value` with an index, and when the
    /// result equals the current value.
    bool merge(const ValueContainer& value, std::uint32_t arrayIdx);

    /// The datatype, application tag and structure of a property in an object type, from the standard's
    /// property datatype table (PropertyDatatypeTable). False when the property is unknown for that type.
    static bool getValueTypeAndStructure(std::uint32_t objectType, std::uint32_t propertyId,
                                         BACnetDataType& dataType, BACNET_APPLICATION_TAG& appTag,
                                         BACNET_DATATYPE_STRUCTURE& structure);

    /// Writes the value as one element named `name` through `mf`: a single primitive as its base type,
    /// a constructed value through its own markup, an array or list as a List/Array element holding one
    /// element per value (log buffers included). `dataType` overrides the datatype used to choose the
    /// base type; BACNET_DT_NULL uses each element's own.
    void markup(WS::MarkupFactory& mf, const std::string& name, bool startArray,
                BACnetDataType dataType) const;

    /// Equal datatype, structure and elements (REAL NaN never equals).
    bool operator==(const ValueContainer& other) const;
    bool operator!=(const ValueContainer& other) const { return !(*this == other); }

private:
    const BACnetValue& first() const;
    const BACnetValue& firstOrThrow() const;
    void setSingle(BACnetValue value);
    static void markupElement(WS::MarkupFactory& mf, const std::string& name, const BACnetValue& value,
                              bool startArray, BACnetDataType dataType);

    std::vector<BACnetValue> _values;
    BACnetDataType _dataType = BACNET_DT_NULL;
    BACNET_DATATYPE_STRUCTURE _structure = BACNET_DTS_SINGLE_VALUE;
};

}  // namespace Orvik::BACnet
