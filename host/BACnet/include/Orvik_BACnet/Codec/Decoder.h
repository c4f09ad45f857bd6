#pragma once

#include <cstddef>
#include <cstdint>

#include "Orvik_BACnet/BACnetValue.h"
#include "Orvik_BACnet/Codec/OctetView.h"
#include "Orvik_BACnet/Codec/Tag.h"

namespace Orvik::BACnet::Codec
{

/// A bounded cursor over tagged octets (service data, or the content of one constructed field).
///
/// Every read checks the remaining octets first and throws DecodeError for truncated or malformed
/// input; nothing is ever read outside the view. Reads of a field expect its tag at the cursor and
/// throw when another tag is there, so optional fields are tested first with isContext / isOpening.
/// Enclosed fields (opening tag .. closing tag) are found by a scan that counts nesting up to
/// _MAX_DEPTH and fails beyond it, so no input can make the codec recurse without bound.
///
/// Primitive contents: Unsigned and INTEGER up to 8 octets, ENUMERATED up to 8 octets holding a
/// 32-bit value (longer encodings and larger values throw), CharacterString in UTF-8, UCS-2, UCS-4 or ISO
/// 8859-1 (converted to UTF-8; other character sets throw with code character-set-not-supported).
class Decoder
{
public:
    /// Deepest nesting of opening tags that is accepted.
    static constexpr unsigned _MAX_DEPTH = 16;

    explicit Decoder(OctetView octets) : _octets(octets) {}

    bool atEnd() const { return _pos >= _octets.size; }
    std::size_t remaining() const { return _octets.size - _pos; }
    /// The octets not read yet.
    OctetView rest() const { return OctetView(_octets.data + _pos, remaining()); }
    /// Throws DecodeError when octets remain.
    void expectEnd() const;

    /// The tag at the cursor, not consumed. Throws at the end or for a malformed tag.
    Tag peekTag() const;
    /// Tests of the tag at the cursor; false at the end.
    bool isApplication(BACNET_APPLICATION_TAG tag) const;
    bool isContext(std::uint8_t number) const;
    bool isOpening(std::uint8_t number) const;
    bool isClosing(std::uint8_t number) const;

    /// One application-tagged primitive, whatever its datatype.
    BACnetValue readApplicationValue();
    std::uint64_t readApplicationUnsigned();
    std::uint32_t readApplicationEnumerated();
    DataType::ObjectIdentifier readApplicationObjectIdentifier();

    /// A primitive with context tag `number` whose datatype the field defines (`appTag`).
    BACnetValue readContextValue(std::uint8_t number, BACNET_APPLICATION_TAG appTag);
    std::uint64_t readUnsigned(std::uint8_t number);
    /// Unsigned that must fit 32 bits.
    std::uint32_t readUnsigned32(std::uint8_t number);
    std::int64_t readSigned(std::uint8_t number);
    std::uint32_t readEnumerated(std::uint8_t number);
    bool readBoolean(std::uint8_t number);
    float readReal(std::uint8_t number);
    DataType::ObjectIdentifier readObjectIdentifier(std::uint8_t number);
    DataType::BitString readBitString(std::uint8_t number);
    DataType::Time readTime(std::uint8_t number);

    void readOpening(std::uint8_t number);
    void readClosing(std::uint8_t number);
    /// The content between opening tag `number` at the cursor and its matching closing tag, as a
    /// decoder of its own; the cursor moves past the closing tag.
    Decoder readEnclosed(std::uint8_t number);
    /// Skips one complete value at the cursor: a primitive, or an opening tag with everything up to
    /// its closing tag.
    void skipValue();

    /// Reads the content of a primitive of datatype `appTag` whose tag was just consumed.
    BACnetValue readContents(const Tag& tag, BACNET_APPLICATION_TAG appTag);

private:
    Tag readTag();
    Tag readTag(Tag::Kind kind, std::uint8_t number);
    const std::uint8_t* take(std::size_t count);
    /// Offset of the closing tag that matches the opening tag just read, from the cursor on.
    std::size_t findClosing(std::uint8_t number) const;

    OctetView _octets;
    std::size_t _pos = 0;
};

}  // namespace Orvik::BACnet::Codec
