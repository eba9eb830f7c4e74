#include "tamrikcsv/encoder/csv_encoder.hpp"

#include <algorithm>

#include "tamrikcsv/encoder/detail/shadow_encoder.hpp"
#include "tamrikcsv/text/detail/transcoding.hpp"

namespace tamrikcsv {
namespace {

std::string readBack(const Data& data, const CSVWriter::Configuration& configuration) {
  TextEncoding encoding = configuration.encoding.value_or(TextEncoding::utf8);
  // UTF-8 is the text already (the writer checked every field). Converting it would take a first field
  // that begins with U+FEFF for a byte-order mark and drop it.
  if (encoding == TextEncoding::utf8)
    return std::string(reinterpret_cast<const char*>(data.data()), data.size());
  auto text = detail::convertToUTF8(data, encoding);
  if (!text)
    throw CSVError<CSVEncoder>(CSVEncoder::Error::invalidConfiguration,
                               "The encoded data couldn't be read back as text.",
                               "Encode into bytes instead.", {{"Encoding", encoding}});
  return *std::move(text);
}

void encodeRoot(const std::shared_ptr<detail::ShadowEncoderSink>& sink, const detail::EncodeWith& with) {
  detail::ShadowEncoder root(sink, {});
  with(root);
  sink->flushAndFinish();
}

}  // namespace

std::shared_ptr<detail::ShadowEncoderSink> CSVEncoder::makeSink(CSVWriter writer) const {
  return std::make_shared<detail::ShadowEncoderSink>(std::move(writer), configuration, userInfo);
}

Data CSVEncoder::encodeDataWith(const detail::EncodeWith& with) const {
  auto sink = makeSink(CSVWriter::toMemory(configuration.writerConfiguration));
  encodeRoot(sink, with);
  return sink->releaseData();
}

std::string CSVEncoder::encodeStringWith(const detail::EncodeWith& with) const {
  return readBack(encodeDataWith(with), configuration.writerConfiguration);
}

void CSVEncoder::encodeFileWith(const std::filesystem::path& path, FileMode mode,
                                const detail::EncodeWith& with) const {
  encodeRoot(makeSink(CSVWriter::toFile(path, configuration.writerConfiguration, mode)), with);
}

CSVEncoder::Lazy<Data> CSVEncoder::makeLazyData() const {
  return Lazy<Data>(makeSink(CSVWriter::toMemory(configuration.writerConfiguration)));
}
CSVEncoder::Lazy<std::string> CSVEncoder::makeLazyString() const {
  return Lazy<std::string>(makeSink(CSVWriter::toMemory(configuration.writerConfiguration)));
}
CSVEncoder::Lazy<void> CSVEncoder::makeLazyFile(const std::filesystem::path& path, FileMode mode) const {
  return Lazy<void>(makeSink(CSVWriter::toFile(path, configuration.writerConfiguration, mode)));
}

// --- The lazy encoder ------------------------------------------------------------------------------------

CSVEncoder::LazyBase::LazyBase(std::shared_ptr<detail::ShadowEncoderSink> sink) : sink_(std::move(sink)) {}

void CSVEncoder::LazyBase::encodeRow(const detail::EncodeWith& with) {
  auto row = detail::ShadowEncoder::forRow(sink_, currentIndex_++);
  with(row);
}

void CSVEncoder::LazyBase::encodeBlankRow() {
  // Each field takes the nil strategy's value, so the width must be known here, even before the first row
  // ends (its values may all still wait): the writer's padding would leave the fields empty.
  const std::int64_t width = sink_->rowWidth();
  if (width < 1 && currentIndex_ == 0)
    throw CSVError<CSVEncoder>(
        Error::invalidPath,
        "An empty row cannot be encoded if the number of fields hold by the CSV file is unkwnown.",
        "Specify a headers row or encode a row with content before encoding an empty row.");
  // Earlier rows that placed no value (they failed) leave the width unknown: one absent value is placed,
  // and the writer refuses the empty first row when it ends.
  encodeRow([width](Encoder& encoder) {
    auto fields = encoder.unkeyedContainer();
    for (std::int64_t field = 0; field < std::max<std::int64_t>(width, 1); ++field) fields.encodeNil();
  });
}

void CSVEncoder::LazyBase::finish() {
  sink_->flushAndFinish();
}

Data CSVEncoder::LazyBase::takeData() {
  return sink_->takeData();
}

std::string CSVEncoder::LazyBase::takeText() {
  return readBack(sink_->takeData(), sink_->configuration().writerConfiguration);
}

}  // namespace tamrikcsv
