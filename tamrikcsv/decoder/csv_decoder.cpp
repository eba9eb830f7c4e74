#include "tamrikcsv/decoder/csv_decoder.hpp"

#include "tamrikcsv/decoder/detail/shadow_decoder.hpp"

namespace tamrikcsv {

void CSVDecoder::decodeRoot(CSVReader reader, const detail::DecodeWith& with) const {
  auto source = std::make_shared<detail::ShadowDecoder::Source>(std::move(reader), configuration, userInfo);
  detail::ShadowDecoder root(std::move(source), {});
  with(root);
}

CSVDecoder::Lazy CSVDecoder::makeLazy(CSVReader reader) const {
  return Lazy(std::make_shared<detail::ShadowDecoder::Source>(std::move(reader), configuration, userInfo));
}

CSVDecoder::Lazy CSVDecoder::makeLazyText(std::string text) const {
  return makeLazy(CSVReader::fromText(std::move(text), configuration.readerConfiguration));
}
CSVDecoder::Lazy CSVDecoder::makeLazyData(Data data) const {
  return makeLazy(CSVReader::fromData(std::move(data), configuration.readerConfiguration));
}
CSVDecoder::Lazy CSVDecoder::makeLazyData(std::span<const std::byte> data) const {
  return makeLazy(CSVReader::fromData(data, configuration.readerConfiguration));
}
CSVDecoder::Lazy CSVDecoder::makeLazyFile(const std::filesystem::path& path) const {
  return makeLazy(CSVReader::fromFile(path, configuration.readerConfiguration));
}
CSVDecoder::Lazy CSVDecoder::makeLazyStream(std::shared_ptr<InputStream> stream) const {
  return makeLazy(CSVReader::fromStream(std::move(stream), configuration.readerConfiguration));
}

// A failure to look ahead is not the end: decoding the row then reports it.
bool CSVDecoder::Lazy::atEnd() {
  try {
    return source_->isPastEnd(currentIndex_);
  } catch (const CSVErrorBase&) {
    return false;
  }
}

std::optional<CSVDecoder::Lazy::Row> CSVDecoder::Lazy::next() {
  if (atEnd()) return std::nullopt;
  return nextRow();
}

CSVDecoder::Lazy::Row CSVDecoder::Lazy::nextRow() {
  if (atEnd())
    throw CSVError<CSVDecoder>(
        Error::invalidPath, "There are no more rows to decode. The file is at the end.",
        "Use next() or decodeIfPresent(_:) instead of decode(_:) if you are unsure where the file ends.");
  return Row(
      std::make_unique<detail::ShadowDecoder>(detail::ShadowDecoder::forRow(source_, currentIndex_++)));
}

void CSVDecoder::Lazy::skipRow() {
  if (!atEnd()) ++currentIndex_;
}

}  // namespace tamrikcsv
