//
// MarkupFactory.h
//
// Library: Orvik_BACnet
// Package: WS
// Module:  MarkupFactory
//
// Definition of the MarkupFactory class, the streaming markup writer for BACnet/WS shaped documents.
//

#ifndef Orvik_BACnet_WS_MarkupFactory_INCLUDED
#define Orvik_BACnet_WS_MarkupFactory_INCLUDED

#include <Poco/Types.h>

#include <cstddef>
#include <cstring>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace Orvik::BACnet::WS
{

/// MarkupFactory writes a tree of typed, named elements to a std::ostream in the shape of BACnet/WS
/// (ASHRAE 135 Annex W). The concrete writers are MarkupFactoryXML and MarkupFactoryJSON; both document
/// their spelling with an example.
///
/// The writer streams: it keeps nothing but the stack of open elements and a buffer of its own, and
/// nothing of a value outlives the call that writes it. The text goes into the buffer and from there to
/// the stream in one write (a hand-over), when the HandOver mode given to the constructor says:
///   - HAND_OVER_EACH_CALL (the default): at the end of every call, so the stream holds everything
///     written so far whenever a call has returned. The stream sees one piece per call, not one per quote,
///     name and bracket.
///   - HAND_OVER_IN_CHUNKS: whenever the buffer is full (8 KiB pieces), when the document is complete,
///     and on flush(). For writers of long documents into a stream that goes on anyway (an upload): it
///     saves a write per call. Until the document is complete the stream may lag behind the calls.
///
/// Calls:
///   - header() once, before anything else (optional).
///   - markup(baseType, name, value, options) writes one element. By default the element is complete; with
///     Options::open() it stays open and everything written after it goes inside it until
///     closeOpenMarkup() closes the innermost open element or closeAllOpenMarkups() closes all of them.
///   - markup(baseType, name, options) is the same without a value (an empty value).
///   - markup(objectType, propertyIdentifier, value, options) names the element after the standard
///     property name and takes its base type from the property's datatype (see that overload).
///   - markupT(objectType, propertyIdentifier, container, options) turns a value container into display
///     text first.
///   The options default to a complete element without metadata, so a call names only what it changes:
///       mf.markup(MarkupFactory::BT_ARRAY, "channels", MarkupFactory::Options().open().startArray(first));
///
/// Document rules, which keep the output well-formed for every sequence of calls:
///   - A document has exactly one top-level element. Once it is closed the document is complete, and any
///     further markup() or header() throws Poco::IllegalStateException; closeAllOpenMarkups() then does
///     nothing. closeOpenMarkup() with nothing open throws Poco::IllegalStateException.
///   - header() after the first element throws Poco::IllegalStateException.
///   - Names and values may hold any bytes. Quotes, '<', '&', backslashes and control characters are
///     escaped as each language needs. Bytes that are not well-formed UTF-8 (devices do send Latin-1 and
///     broken strings) are replaced by U+FFFD, the Unicode replacement character, one for each maximal
///     subpart of an ill-formed sequence (as Unicode recommends and most decoders do), so the document
///     stays valid UTF-8. Characters that XML 1.0 cannot carry at all (C0 controls other than tab,
///     line feed and carriage return, U+FFFE and U+FFFF) are replaced by U+FFFD in XML; JSON escapes them.
///   - startArray never breaks the document. It marks the element as the first of a run of siblings that
///     form an ordered array; what that changes is up to the language (nothing in XML, see
///     MarkupFactoryJSON for JSON).
///   - The destructor writes nothing: a document that was not completed (for example because an exception
///     ended it) stays visibly incomplete instead of looking whole with data missing.
///   - After each call the writer checks the stream; a stream that failed makes the call throw
///     Poco::IOException, so a lost upload is never reported as success. (In chunks, a write that fails is
///     noticed by the call that handed it over, at the latest by the call that completes the document.)
///
/// The metadata options (errorCode, truncated, comment, errorText, displayName, type, maximum, minimum,
/// contextTag, propertyIdentifier, writable, description) become the BACnet/WS attributes "error",
/// "truncated", "comment", "errorText", "displayName", "type", "maximum", "minimum", "contextTag",
/// "propertyIdentifier", "writable" and "description" when they are set (non-zero, true, non-empty).
/// definition writes the element as a type definition: it carries no value. embedded matters only to the
/// property form.
///
/// Not thread-safe: one writer belongs to one thread, like its stream.
class MarkupFactory
{
public:
    /// The BACnet/WS base types (ASHRAE 135 Annex W). BT_STRUCT is the Annex's "Sequence". The primitive
    /// ones, BT_NULL to BT_OBJECT_IDENTIFIER, carry the numbers of the BACnet application tags (BT_INTEGER is
    /// a Signed, BT_STRING a CharacterString), so a tag converts to its base type unchanged.
    enum BaseType
    {
        BT_NULL = 0,
        BT_BOOLEAN = 1,
        BT_UNSIGNED = 2,
        BT_INTEGER = 3,
        BT_REAL = 4,
        BT_DOUBLE = 5,
        BT_OCTET_STRING = 6,
        BT_STRING = 7,
        BT_BIT_STRING = 8,
        BT_ENUMERATED = 9,
        BT_DATE = 10,
        BT_TIME = 11,
        BT_OBJECT_IDENTIFIER = 12,
        BT_DATE_TIME = 13,
        BT_DATE_PATTERN = 14,
        BT_TIME_PATTERN = 15,
        BT_DATE_TIME_PATTERN = 16,
        BT_OBJECT_IDENTIFIER_PATTERN = 17,
        BT_WEEK_N_DAY = 18,
        BT_CHOICE = 19,
        BT_STRUCT = 20,
        BT_LIST = 21,
        BT_SEQUENCE_OF = 22,
        BT_ARRAY = 23,
        BT_OBJECT = 24,
        BT_BIT = 25,
        BT_LINK = 26,
        BT_ANY = 27,
        BT_STRING_SET = 28,
        BT_COMPOSITION = 29,
        BT_COLLECTION = 30,
        BT_UNKNOWN = 31,
        BT_RAW = 32,
        BT_MAX = 33  ///< number of base types, not a base type
    };

    /// When the writer hands its buffer to the stream (see the class comment).
    enum HandOver
    {
        HAND_OVER_EACH_CALL,
        HAND_OVER_IN_CHUNKS
    };

    /// The document languages. JSONP documents are written by MarkupFactoryJSON; PLAIN has no writer here.
    enum MarkupLanguage
    {
        XML = 0,
        JSON = 1,
        JSONP = 3,
        PLAIN = 4
    };

    /// The metadata attributes, in the order they are written (see Options).
    enum Attribute
    {
        ATTR_COMMENT,
        ATTR_ERROR_TEXT,
        ATTR_DISPLAY_NAME,
        ATTR_TYPE,
        ATTR_MAXIMUM,
        ATTR_MINIMUM,
        ATTR_CONTEXT_TAG,
        ATTR_PROPERTY_IDENTIFIER,
        ATTR_WRITABLE,
        ATTR_DESCRIPTION,
        ATTR_COUNT
    };

    MarkupFactory(const MarkupFactory&) = delete;
    MarkupFactory& operator=(const MarkupFactory&) = delete;

    virtual ~MarkupFactory();
    /// Writes nothing (see the class comment).

    void header();
    /// Writes the document prologue of the language (XML declaration; nothing in JSON).

    /// What a markup() call writes besides the base type, name and value. The defaults write a complete
    /// element without metadata; each setter returns the record, so a call chains what it sets. The record
    /// owns its texts: it may be kept and reused.
    class Options
    {
    public:
        Options& open(bool on = true)
        /// Leaves the element open: what is written next goes inside it.
        {
            _open = on;
            return *this;
        }
        Options& startArray(bool on = true)
        /// Makes the element the first of a run of siblings that form an ordered array.
        {
            _startArray = on;
            return *this;
        }
        Options& embedded(bool on = true)
        /// Property form only: writes one member of a BACnetARRAY or BACnetLIST property.
        {
            _embedded = on;
            return *this;
        }
        Options& definition(bool on = true)
        /// Writes a type definition, which carries no value.
        {
            _definition = on;
            return *this;
        }
        Options& errorCode(Poco::UInt32 code)
        {
            _errorCode = code;
            return *this;
        }
        Options& truncated(bool on = true)
        {
            _truncated = on;
            return *this;
        }
        Options& comment(std::string text) { return attribute(ATTR_COMMENT, std::move(text)); }
        Options& errorText(std::string text) { return attribute(ATTR_ERROR_TEXT, std::move(text)); }
        Options& displayName(std::string text) { return attribute(ATTR_DISPLAY_NAME, std::move(text)); }
        Options& type(std::string text) { return attribute(ATTR_TYPE, std::move(text)); }
        Options& maximum(std::string text) { return attribute(ATTR_MAXIMUM, std::move(text)); }
        Options& minimum(std::string text) { return attribute(ATTR_MINIMUM, std::move(text)); }
        Options& contextTag(std::string text) { return attribute(ATTR_CONTEXT_TAG, std::move(text)); }
        Options& propertyIdentifier(std::string text)
        {
            return attribute(ATTR_PROPERTY_IDENTIFIER, std::move(text));
        }
        Options& writable(std::string text) { return attribute(ATTR_WRITABLE, std::move(text)); }
        Options& description(std::string text) { return attribute(ATTR_DESCRIPTION, std::move(text)); }

    private:
        friend class MarkupFactory;

        Options& attribute(Attribute which, std::string text)
        {
            _hasAttributes = _hasAttributes || !text.empty();
            _attributes[which] = std::move(text);
            return *this;
        }

        bool _open = false;
        bool _startArray = false;
        bool _embedded = false;
        bool _definition = false;
        bool _truncated = false;
        Poco::UInt32 _errorCode = 0;
        std::string _attributes[ATTR_COUNT];
        bool _hasAttributes = false;  ///< an attribute was given a text (the writers skip empty ones)
    };

    void markup(BaseType baseType, const std::string& name, const std::string& value,
                const Options& options = _DEFAULTS);
    /// Writes one element of the given base type. Primitive base types always carry their value (an empty
    /// one too); Null and the constructed types carry it only when it is not empty.

    void markup(BaseType baseType, const std::string& name, const Options& options = _DEFAULTS);
    /// The element without a value: the base-type form with an empty value.

    void markup(Poco::UInt32 objectType, Poco::UInt32 propertyIdentifier, const std::string& value,
                const Options& options = _DEFAULTS);
    /// The property form (objectType is a BACNET_OBJECT_TYPE, propertyIdentifier a BACNET_PROPERTY_ID).
    /// The element is named by the standard property name ("proprietary-<n>" for unknown numbers) and its
    /// base type follows the property's datatype for that object type: for a BACnetARRAY or BACnetLIST
    /// property it is BT_ARRAY or BT_LIST, unless the options say embedded, which writes one member of the
    /// collection with the member's base type. Properties of unknown datatype are written as BT_STRING.
    /// With textExtendEnumsAndBitStrings, a decimal enumeration value is written by its name and a bit
    /// string given as '0'/'1' characters (bit 0 first) by the names of its set bits, separated by ';'.

    template <class Container>
    void markupT(Poco::UInt32 objectType, Poco::UInt32 propertyIdentifier, const Container& value,
                 const Options& options = _DEFAULTS)
    /// Writes a value container (ValueContainer) with the property form: its display text, list members
    /// joined by ", ".
    {
        std::string text;
        value.getString(text, ", ", false);
        markup(objectType, propertyIdentifier, text, options);
    }

    void closeOpenMarkup();
    /// Closes the innermost open element.

    void closeAllOpenMarkups();
    /// Closes every open element, which completes the document.

    void flush();
    /// Hands everything written so far to the stream (also in chunks) and checks the stream.

    virtual MarkupLanguage language() const = 0;
    bool format() const { return _format; }
    bool textExtendEnumsAndBitStrings() const { return _textExtendEnumsAndBitStrings; }
    std::size_t openMarkupCount() const { return _open.size(); }
    bool complete() const { return _complete; }
    /// True once the top-level element is closed.

    static const char* baseTypeName(BaseType baseType);
    /// The BACnet/WS name of the base type ("Sequence" for BT_STRUCT), "Unknown" for numbers out of range.

    static bool isCollection(BaseType baseType)
    /// True for the ordered collections BT_LIST, BT_SEQUENCE_OF and BT_ARRAY.
    {
        return baseType == BT_LIST || baseType == BT_SEQUENCE_OF || baseType == BT_ARRAY;
    }

    static bool isConstructed(BaseType baseType);
    /// True for the base types whose value is made of children (collections, BT_STRUCT, BT_CHOICE, ...).

protected:
    /// Where an element goes in its parent.
    enum Placement
    {
        ROOT,    ///< the top-level element
        MEMBER,  ///< a named member of its parent
        ITEM     ///< an item of the ordered array of its parent
    };

    /// One element as a writer receives it. The strings belong to the caller of markup().
    struct Element
    {
        BaseType baseType;
        const std::string* name;
        const std::string* value;  ///< null when the element carries no value
        Poco::UInt32 errorCode;
        bool truncated;
        const std::string* attributes;  ///< ATTR_COUNT texts; the empty ones are not written
        bool hasAttributes;             ///< false when all of them are empty
    };

    /// One open element.
    struct Frame
    {
        BaseType baseType;
        bool itemMode;     ///< later children are items of an ordered array
        bool hasChildren;  ///< at least one child was written
        bool hasItems;     ///< at least one child was written as an item
    };

    MarkupFactory(std::ostream& stream, bool format, bool textExtendEnumsAndBitStrings, HandOver handOver);
    /// Throws Poco::InvalidArgumentException when the stream has no buffer.

    /// Writers put their text through these into the writer's buffer (see the class comment for when it
    /// goes to the stream).
    void write(char c)
    {
        if (_next == _end)
        {
            handOverBuffer();
        }
        *_next++ = c;
    }
    void write(const char* text, std::size_t length)
    {
        if (length <= static_cast<std::size_t>(_end - _next))
        {
            std::memcpy(_next, text, length);
            _next += length;
        }
        else
        {
            writeLong(text, length);
        }
    }
    void write(const char* text) { write(text, std::char_traits<char>::length(text)); }
    void write(const std::string& text) { write(text.data(), text.size()); }
    void writeBaseTypeName(BaseType baseType);
    /// Writes baseTypeName(baseType).
    char* reserve(std::size_t length)
    {
        if (length > static_cast<std::size_t>(_end - _next))
        {
            handOverBuffer();
        }
        return _next;
    }
    /// Room for length bytes (at most (_ESCAPE_CHUNK + 3) * _MAX_ESCAPE_GROWTH) at the end of the buffer, for
    /// writing byte by byte: returns where to write them; commit() then takes the end of what was written.
    void commit(char* next) { _next = next; }
    static char* copyText(const char* text, char* out)
    /// Copies a NUL-terminated text to out (room reserved); returns the end of the copy.
    {
        while (*text != '\0')
        {
            *out++ = *text++;
        }
        return out;
    }

    static constexpr std::size_t _ESCAPE_CHUNK = 1024;
    /// The escaping loops take the text in chunks of this many bytes, reserving room for each.
    static const std::size_t _MAX_ESCAPE_GROWTH = 6;
    /// No byte of a text becomes more than this many bytes when escaped or replaced.

    void writeLineStart(std::size_t level);
    /// With format, starts a new line indented by two blanks per level; without, writes nothing.
    std::size_t depth() const { return _open.size(); }
    /// The number of open elements: the nesting depth of the next element.

    static const char* attributeName(Attribute attribute);
    /// The BACnet/WS name of a metadata attribute ("comment", "errorText", ...).

    static std::size_t utf8Sequence(const char* p, const char* end, bool& wellFormed);
    /// Measures the UTF-8 sequence that starts at p (p < end): returns the number of bytes it takes and
    /// sets wellFormed. Overlong forms, surrogates and code points above U+10FFFF are ill-formed (RFC 3629).
    /// An ill-formed sequence is measured as its maximal subpart, the longest start of a well-formed
    /// sequence (at least one byte), which the writers replace by one U+FFFD as Unicode recommends.

    static const char _REPLACEMENT_CHARACTER[];
    /// U+FFFD in UTF-8.

    virtual bool isReservedName(const std::string& name) const;
    /// True when the name cannot be a member name in this language; such an element is written as an item
    /// (like startArray). False by default.

    virtual void writeHeader() = 0;
    /// Writes the prologue.

    virtual void writeElement(const Element& element, Placement placement, const Frame* parent,
                              bool closeMarkup) = 0;
    /// Writes an element: complete when closeMarkup is true, else its opening. parent is null for ROOT.

    virtual void writeClose(const Frame& frame) = 0;
    /// Writes the end of an open element; depth() still counts it.

    virtual void writeDocumentEnd() = 0;
    /// Writes what follows the top-level element.

private:
    void writeMarkup(const Element& element, bool closeMarkup, bool startArray);
    void closeInnermost();
    void checkNotComplete() const;
    void endCall();
    /// The end of every public call that writes: hands the buffer over as the mode says (always once the
    /// document is complete) and throws Poco::IOException when the stream failed.
    void handOverBuffer();
    /// Writes the buffer into the stream's buffer in one piece and empties it; a short write sets
    /// badbit, which endCall reports.
    void writeLong(const char* text, std::size_t length);
    /// write() for a text that does not fit the rest of the buffer.

    static const std::string _NO_TEXT;
    /// The value of the form without a value, shared instead of a temporary per call.
    static const Options _DEFAULTS;
    /// The options of a call that gives none, shared instead of a temporary per call.
    static const std::size_t _BUFFER_SIZE = 8192;
    // A chunk of text may end inside a UTF-8 sequence of up to 4 bytes, which is then taken whole.
    static_assert((_ESCAPE_CHUNK + 3) * _MAX_ESCAPE_GROWTH <= _BUFFER_SIZE,
                  "the buffer holds an escaped chunk");

    std::ostream& _stream;
    std::vector<char> _buffer;
    char* _next;  ///< where the next byte goes in _buffer
    char* _end;   ///< the end of _buffer
    const bool _handOverEachCall;
    const bool _format;
    const bool _textExtendEnumsAndBitStrings;
    std::vector<Frame> _open;
    bool _started;
    bool _complete;
};

}  // namespace Orvik::BACnet::WS

#endif  // Orvik_BACnet_WS_MarkupFactory_INCLUDED
