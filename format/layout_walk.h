#pragma once
// The one walk of a layout table over encoded bytes, shared by ScanRecord (which only finds where
// a record ends and how its fields lie, all the tool needs) and the tests' RecordReader (which
// builds the values). What
// becomes of each field is the `Values` policy's business; how fields are encoded, where they
// end, which claims a file may make and what counts as data that ends inside a field are the
// walk's alone.
//
// A `Values` policy provides:
//   kKeepsValues                              false: bodies may be passed over unseen
//   the types RecordSlot, FieldSlot and TextSlot
//   FieldSlot Field(RecordSlot, i)            the slot of field i of a record
//   AsRecord, AsText, AsByteArray, AsTextArray, AsRecordArray(FieldSlot): the slot as its kind
//     (the array slots may be of any type the array calls below take)
//   void SetByte(FieldSlot, std::uint8_t)
//   bool TakeText(TextSlot, ByteCursor&, n)   the n bytes of a text; false when they are not there
//   void SetDimensions(ArraySlot, count), SetDimension(ArraySlot, i, Dimension)
//   void SizeElements(ArraySlot, total, element)  once the claim is known to fit the data
//   bool TakeBytes(ByteArraySlot, ByteCursor&, total)
//   TextSlot TextElement(TextArraySlot, i), RecordSlot RecordElement(RecordArraySlot, i)
//   void Clear(FieldSlot, const Field&)        a field cut short goes back to its empty value
//   void FieldEnds(std::size_t i, std::uint64_t end)   a top-level field was read whole

#include "format/byte_cursor.h"
#include "format/layout.h"
#include "format/walk_outcome.h"

namespace zelvane {

// Passes over as many of the next `count` records as the cursor's bytes in hand hold whole, when
// their fields are texts and bytes alone as `layout` has them, and says how many that was (none
// when the layout has fields of another kind or more than 64). A run of small records is so walked
// as a chain of hops, from each text's length to the next field, in registers.
std::uint64_t HopOverTextsAndBytes(ByteCursor& cursor, const Layout& layout, std::uint64_t count);

template <class Values>
class LayoutWalk {
 public:
  LayoutWalk(ByteCursor& cursor, Values& values) : cursor_(cursor), values_(values) {}

  // Walks the fields of `layout` from the cursor's position.
  ReadEnd Walk(const Layout& layout, typename Values::RecordSlot record) {
    end_ = ReadEnd::Complete;
    damage_ = Damage::None;
    missing_ = 0;
    Fields(layout, record, true);
    if (end_ != ReadEnd::InsideField) cutAt_ = cursor_.Position();
    return end_;
  }

  // The end of the last field read whole.
  std::uint64_t WholeEnd() const { return cutAt_; }
  // When the data ended between two fields: the encoded size of the empty values of the fields
  // that were not there.
  std::uint64_t Missing() const { return missing_; }
  Damage WhyCut() const { return damage_; }

 private:
  using RecordSlot = typename Values::RecordSlot;
  using FieldSlot = typename Values::FieldSlot;

  static std::uint16_t U16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
  static std::uint32_t U32(const unsigned char* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
  }

  bool CutShort(Damage why = Damage::EndsInsideField) {
    end_ = ReadEnd::InsideField;
    if (damage_ == Damage::None) damage_ = why;
    return false;
  }

  bool Fields(const Layout& layout, RecordSlot record, bool top) {
    for (std::size_t i = 0; i < layout.fields.size(); ++i) {
      const Field& field = layout.fields[i];
      const FieldSlot slot = values_.Field(record, i);
      if (cursor_.AtEnd()) {  // the data ends between two fields: this one and the rest are missing
        end_ = ReadEnd::AtFieldBoundary;
        missing_ += MinEncodedSize(layout, i);
        return false;
      }
      const std::uint64_t start = cursor_.Position();
      if (!ReadField(field, slot)) {
        if (end_ == ReadEnd::AtFieldBoundary) {  // a nested record ended between its fields
          missing_ += MinEncodedSize(layout, i + 1);
        } else if (field.kind != Kind::Record) {  // cut short: the field stays empty
          values_.Clear(slot, field);
          cutAt_ = start;
        }  // a nested record cut inside a field keeps the fields it read whole
        return false;
      }
      if (top) values_.FieldEnds(i, cursor_.Position());
    }
    return true;
  }

  bool ReadField(const Field& field, FieldSlot slot) {
    switch (field.kind) {
      case Kind::Text: return ReadText(values_.AsText(slot));
      case Kind::Byte: {
        const unsigned char* p = cursor_.Take(1);
        if (!p) return CutShort();
        values_.SetByte(slot, *p);
        return true;
      }
      case Kind::Record: return Fields(*field.nested, values_.AsRecord(slot), false);  // inline, nothing around it
      case Kind::ByteArray: return ReadArray<Kind::Byte>(values_.AsByteArray(slot), Field{Kind::Byte});
      case Kind::TextArray: return ReadArray<Kind::Text>(values_.AsTextArray(slot), Field{Kind::Text});
      case Kind::RecordArray:
        return ReadArray<Kind::Record>(values_.AsRecordArray(slot), Field{Kind::Record, field.nested});
    }
    return CutShort();
  }

  bool ReadText(typename Values::TextSlot text) {
    const unsigned char* p = cursor_.Take(2);
    if (!p) return CutShort();
    const std::size_t n = U16(p);  // unsigned: a text may hold up to 65535 bytes
    if (!values_.TakeText(text, cursor_, n)) return CutShort();
    return true;
  }

  // An array header, then its elements. The element total is a claim made by the file: it is
  // accepted only when that many elements of the smallest size they can take fit in the bytes
  // that remain, so that nothing is ever allocated or walked for elements that cannot be there.
  template <Kind kElement, class ArraySlot>
  bool ReadArray(ArraySlot array, const Field& element) {
    const unsigned char* p = cursor_.Take(2);
    if (!p) return CutShort();
    const std::size_t dimCount = U16(p);
    if (8 * std::uint64_t{dimCount} > cursor_.Remaining()) return CutShort(Damage::ClaimExceedsFile);
    values_.SetDimensions(array, dimCount);
    ElementTotal total;
    for (std::size_t d = 0; d < dimCount; ++d) {
      p = cursor_.Take(8);
      if (!p) return CutShort();
      const Dimension dim{U32(p), static_cast<std::int32_t>(U32(p + 4))};
      values_.SetDimension(array, d, dim);
      total.Add(dim.count);
    }
    const std::uint64_t count = total.Value();
    const std::size_t elementSize = MinEncodedSize(element);
    if (!total.Fits() || count > cursor_.Remaining() / elementSize) return CutShort(Damage::ClaimExceedsFile);
    values_.SizeElements(array, count, element);

    if constexpr (kElement == Kind::Byte) {
      return values_.TakeBytes(array, cursor_, count) || CutShort();
    } else {
      for (std::uint64_t i = 0; i < count;) {
        // Elements with every field empty are all zero bytes, and stay as they were made.
        if (const std::uint64_t empty = cursor_.NextIsZero() ? cursor_.TakeZeroSpans(elementSize, count - i) : 0) {
          i += empty;
          continue;
        }
        bool whole;
        if constexpr (kElement == Kind::Text) {
          whole = ReadText(values_.TextElement(array, i));
        } else {
          if constexpr (!Values::kKeepsValues) {  // small records whole in the buffer, at speed
            if (const std::uint64_t skipped = HopOverTextsAndBytes(cursor_, *element.nested, count - i)) {
              i += skipped;
              continue;
            }
          }
          whole = Fields(*element.nested, values_.RecordElement(array, i), false);
        }
        if (!whole) return CutShort();  // even between an element's fields
        ++i;
      }
      return true;
    }
  }

  ByteCursor& cursor_;
  Values& values_;
  ReadEnd end_ = ReadEnd::Complete;
  Damage damage_ = Damage::None;
  std::uint64_t cutAt_ = 0;
  std::uint64_t missing_ = 0;
};

}  // namespace zelvane
