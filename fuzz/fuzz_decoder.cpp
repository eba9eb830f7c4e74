// libFuzzer target for the record decoder. The first bytes choose a configuration and a way in, the rest
// is the input text:
//
//   field delimiter    1 byte count (1-2), then a byte per scalar (an index into kScalars)
//   row delimiters     1 byte count (1-2), then a delimiter each, as the field delimiter
//   escaping, trim     1 byte each (as the reader's target)
//   flags              1 byte: header, sequential buffering, keys by title, non-conforming floats
//                      converted, then the way in (whole, lazy, unkeyed rows, random rows)
//   strategies         1 byte each: bool, nil, decimal, date, data
//   accesses           1 byte seed for the lazy decoder's calls and the random rows
//
// Every decode must end in values, a CSVErrorBase, a DecodingError or a custom strategy's Refusal; never in
// a crash, a hang, a leak or another exception.

#include <array>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "tamrikcsv/tamrikcsv.hpp"

namespace {

using namespace tamrikcsv;

constexpr char32_t kScalars[] = {U',', U';',  U'\t', U'|', U'\n', U'\r',
                                 U'"', U'\'', U' ',  U'a', U'-',  U'\u00E9'};

// What the custom strategies throw; it must pass through the decoder unchanged.
struct Refusal {};

struct Bytes {
  const std::uint8_t* data;
  std::size_t size, at = 0;
  std::uint8_t take() { return at < size ? data[at++] : 0; }
  std::u32string sequence() {
    std::u32string scalars;
    for (int n = 1 + take() % 2; n > 0; --n) scalars += kScalars[take() % std::size(kScalars)];
    return scalars;
  }
  std::string rest() const { return at < size ? std::string(data + at, data + size) : std::string(); }
};

enum class ByPosition { text, flag, small, count, big, ratio, amount, note, price, when, blob, link };
enum class ByTitle { text, flag, small, count, big, ratio, amount, note, price, when, blob, link };
constexpr std::array kNames{"text",   "flag", "small", "count", "big",  "ratio",
                            "amount", "note", "price", "when",  "blob", "link"};

// One row of every kind of field.
template <class Keys>
struct Record {
  std::string text;
  bool flag;
  std::int8_t small;
  std::uint32_t count;
  std::int64_t big;
  float ratio;
  double amount;
  std::optional<std::string> note;
  Decimal price;
  Date when;
  Data blob;
  URL link;
  static Record decode(Decoder& decoder);
};

}  // namespace

template <>
struct tamrikcsv::CodingKeyTraits<ByPosition> {
  static constexpr auto names = kNames;
  static constexpr std::array ints{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
};
template <>
struct tamrikcsv::CodingKeyTraits<ByTitle> {
  static constexpr auto names = kNames;
};

namespace {

template <class Keys>
Record<Keys> Record<Keys>::decode(Decoder& decoder) {
  auto row = decoder.template container<Keys>();
  // Braced initialisation decodes the fields in order, left to right.
  return {std::string(row.template decode<std::string_view>(Keys::text)),
          row.template decode<bool>(Keys::flag),
          row.template decode<std::int8_t>(Keys::small),
          row.template decode<std::uint32_t>(Keys::count),
          row.template decode<std::int64_t>(Keys::big),
          row.template decode<float>(Keys::ratio),
          row.template decode<double>(Keys::amount),
          row.template decodeIfPresent<std::string>(Keys::note),
          row.template decode<Decimal>(Keys::price),
          row.template decode<Date>(Keys::when),
          row.template decode<Data>(Keys::blob),
          row.template decode<URL>(Keys::link)};
}

std::minstd_rand rng;  // the random rows' choices, reseeded per input

template <class F>
void guarded(F&& f) {
  try {
    f();
  } catch (const CSVErrorBase&) {
  } catch (const DecodingError&) {
  } catch (const Refusal&) {
  }
}

// Keyed access to rows in any order through a container over the whole file, going on after failures.
template <class Keys>
struct RandomRows {
  static RandomRows decode(Decoder& decoder) {
    auto file = decoder.container<CodingKey>();
    for (int n = 0; n < 12; ++n) {
      CodingKey row(static_cast<int>(rng() % 10) - 1);
      guarded([&] {
        switch (rng() % 6) {
          case 0:
            (void)file.contains(row);
            break;
          case 1:
            (void)file.template decode<Record<Keys>>(row);
            break;
          case 2: {
            auto fields = file.template nestedContainer<CodingKey>(row);
            const CodingKey field(static_cast<int>(rng() % 14) - 1);
            // A view reads what a copy reads, and lives while the row is current.
            const auto view = fields.template decodeIfPresent<std::string_view>(field);
            const auto copy = fields.template decodeIfPresent<std::string>(field);
            if (view != copy) std::abort();
            (void)fields.allKeys();
            break;
          }
          case 3:
            (void)Coding<Record<Keys>>::decode(*file.superDecoder(row));
            break;
          case 4:
            (void)file.allKeys();
            break;
          default:
            (void)file.template decodeIfPresent<std::string>(row);
        }
      });
    }
    return {};
  }
};

// Lazily, one call at a time, then the rest as a range.
template <class Keys>
void lazily(CSVDecoder::Lazy lazy) {
  for (int n = 0; n < 8; ++n)
    guarded([&] {
      switch (rng() % 4) {
        case 0:
          if (auto row = lazy.next()) (void)row->template decode<Record<Keys>>();
          break;
        case 1:
          (void)lazy.template decode<Record<Keys>>();
          break;
        case 2:
          (void)lazy.template decodeIfPresent<Record<Keys>>();
          break;
        default:
          lazy.skipRow();
      }
    });
  guarded([&] {
    for (auto& row : lazy) (void)row.template decode<Record<Keys>>();
  });
}

template <class Keys>
void decodeAll(const CSVDecoder& decoder, const std::string& text, int way) {
  guarded([&] {
    switch (way) {
      case 0:
        (void)decoder.decodeText<std::vector<Record<Keys>>>(text);
        break;
      case 1:
        lazily<Keys>(decoder.makeLazyText(text));
        break;
      case 2:
        (void)decoder.decodeText<std::vector<std::vector<std::string>>>(text);
        break;
      default:
        (void)decoder.decodeText<RandomRows<Keys>>(text);
    }
  });
}

std::string fieldText(Decoder& at) {
  auto text = at.singleValueContainer().decode<std::string>();
  if (text.starts_with('!')) throw Refusal{};
  return text;
}

void chooseStrategies(CSVDecoder::Configuration& c, Bytes& in) {
  using namespace Strategy;
  const BoolDecoding bools[] = {BoolDecoding::insensitive(), BoolDecoding::deferredToBool(),
                                BoolDecoding::numeric(),
                                BoolDecoding::custom([](Decoder& at) { return fieldText(at) == "y"; })};
  c.boolStrategy = bools[in.take() % std::size(bools)];
  if (in.take() % 2)
    c.nilStrategy = NilDecoding::custom(
        [](Decoder& at) { return at.singleValueContainer().decode<std::string>() == "-"; });
  const DecimalDecoding decimals[] = {DecimalDecoding::locale(), DecimalDecoding::locale(Locale("de_DE")),
                                      DecimalDecoding::custom([](Decoder& at) {
                                        auto value = Decimal::parse(fieldText(at), U'|');
                                        if (!value) throw Refusal{};
                                        return *value;
                                      })};
  c.decimalStrategy = decimals[in.take() % std::size(decimals)];
  static const auto formatter = DateFormatter::make("dd.MM.yyyy HH:mm");
  const DateDecoding dates[] = {DateDecoding::deferredToDate(), DateDecoding::secondsSince1970(),
                                DateDecoding::millisecondsSince1970(), DateDecoding::iso8601(),
                                DateDecoding::formatted(formatter),
                                // a nested decode of another kind, under the float strategy
                                DateDecoding::custom([](Decoder& at) {
                                  if (fieldText(at).empty()) throw Refusal{};
                                  return dateSince1970(at.singleValueContainer().decode<double>());
                                })};
  c.dateStrategy = dates[in.take() % std::size(dates)];
  const DataDecoding datas[] = {DataDecoding::base64(), DataDecoding::deferredToData(),
                                DataDecoding::custom([](Decoder& at) {
                                  auto text = fieldText(at);
                                  auto bytes = reinterpret_cast<const std::byte*>(text.data());
                                  return Data(bytes, bytes + text.size());
                                })};
  c.dataStrategy = datas[in.take() % std::size(datas)];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Bytes in{data, size};
  CSVDecoder decoder;
  auto& c = decoder.configuration;
  auto& r = c.readerConfiguration;
  r.delimiters.field.scalars = in.sequence();
  r.delimiters.row.scalars.clear();
  for (int n = 1 + in.take() % 2; n > 0; --n) r.delimiters.row.scalars.insert(in.sequence());
  std::uint8_t escaping = in.take();
  if (escaping % 4 == 0) r.escapingStrategy = nullptr;
  if (escaping % 4 >= 2) r.escapingStrategy = kScalars[escaping / 4 % std::size(kScalars)];
  std::uint8_t trim = in.take();
  if (trim % 4 == 1) r.trimStrategy = CharacterSet::whitespaces();
  if (trim % 4 >= 2) r.trimStrategy = {kScalars[trim / 4 % std::size(kScalars)]};
  std::uint8_t flags = in.take();
  r.headerStrategy = flags & 1 ? Strategy::Header::firstLine : Strategy::Header::none;
  c.bufferingStrategy = flags & 2 ? Strategy::DecodingBuffer::sequential : Strategy::DecodingBuffer::keepAll;
  bool byTitle = flags & 4;
  // Texts that clash with each other and with numbers, as well as the usual ones.
  if (flags & 8)
    c.nonConformingFloatStrategy = flags & 16 ? Strategy::NonConformingFloat::convert("inf", "-inf", "nan")
                                              : Strategy::NonConformingFloat::convert("1", "", "1");
  int way = flags / 32 % 4;
  chooseStrategies(c, in);
  rng.seed(in.take());
  std::string text = in.rest();

  if (byTitle)
    decodeAll<ByTitle>(decoder, text, way);
  else
    decodeAll<ByPosition>(decoder, text, way);
  return 0;
}
