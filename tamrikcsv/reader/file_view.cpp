#include "tamrikcsv/reader/file_view.hpp"

#include "tamrikcsv/reader/csv_error.hpp"

namespace tamrikcsv {

HeaderLookup::HeaderLookup(const std::vector<std::string>& headers) {
  columns_.reserve(headers.size());
  for (std::size_t i = 0; i < headers.size(); ++i)
    if (!columns_.emplace(headers[i], i).second)
      throw CSVError<CSVReader>(CSVError<CSVReader>::Kind::invalidInput,
                                "The header row contain two fields with the same value.",
                                "Request a row instead of a record.");
}

std::optional<std::size_t> HeaderLookup::find(std::string_view title) const {
  auto it = columns_.find(title);
  if (it == columns_.end()) return std::nullopt;
  return it->second;
}

std::optional<std::string_view> Record::operator[](std::string_view title) const {
  auto column = lookup_ ? lookup_->find(title) : std::nullopt;
  if (!column || *column >= row_.size()) return std::nullopt;
  return row_[*column];
}

std::size_t RecordsView::size() const noexcept {
  return file_->size();
}
Record RecordsView::operator[](std::size_t index) const {
  return file_->record(index);
}

std::size_t ColumnsView::size() const noexcept {
  return file_->headers().size();
}
std::vector<std::string> ColumnsView::operator[](std::size_t index) const {
  return file_->column(index);
}

FileView::FileView(std::vector<std::string> headers, std::vector<std::vector<std::string>> rows)
    : headers_(std::move(headers)),
      rows_(std::move(rows)),
      lookup_(std::make_shared<const HeaderLookup>(headers_)) {}

std::optional<std::string_view> FileView::field(std::size_t row, std::string_view title) const {
  auto column = lookup_->find(title);
  if (!column) return std::nullopt;
  return rows_[row][*column];
}

std::vector<std::string> FileView::column(std::size_t index) const {
  std::vector<std::string> out;
  out.reserve(rows_.size());
  for (const auto& row : rows_) out.push_back(row[index]);
  return out;
}

std::optional<std::vector<std::string>> FileView::column(std::string_view title) const {
  auto index = lookup_->find(title);
  if (!index) return std::nullopt;
  return column(*index);
}

}  // namespace tamrikcsv
