#include "tamrikcsv/reader/file_view.hpp"

#include "tamrikcsv/reader/reader_error.hpp"

namespace tamrikcsv {

HeaderLookup::HeaderLookup(const std::vector<std::string>& headers) : titles_(headers) {
  if (titles_.repeatsText())
    throw CSVError<CSVReader>(CSVError<CSVReader>::Kind::invalidInput,
                              "The header row contain two fields with the same value.",
                              "Request a row instead of a record.");
}

std::optional<std::string> Record::operator[](std::string_view title) const {
  auto column = lookup_ ? lookup_->find(title) : std::nullopt;
  if (!column || *column >= row_.size()) return std::nullopt;
  return row_[*column];
}

RecordsView::RecordsView() : file_(std::make_shared<const FileView>()) {}
RecordsView::RecordsView(const FileView& file) : file_(std::make_shared<const FileView>(file)) {}
std::size_t RecordsView::size() const noexcept {
  return file_->size();
}
Record RecordsView::operator[](std::size_t index) const {
  return file_->record(index);
}

ColumnsView::ColumnsView() : file_(std::make_shared<const FileView>()) {}
ColumnsView::ColumnsView(const FileView& file) : file_(std::make_shared<const FileView>(file)) {}
std::size_t ColumnsView::size() const noexcept {
  return file_->headers().size();
}
std::vector<std::string> ColumnsView::operator[](std::size_t index) const {
  return file_->column(index);
}

FileView::FileView() : contents_(std::make_shared<const Contents>()) {}

FileView::FileView(std::vector<std::string> headers, std::vector<std::vector<std::string>> rows) {
  HeaderLookup lookup(headers);
  contents_ =
      std::make_shared<const Contents>(Contents{std::move(headers), std::move(rows), std::move(lookup)});
}

std::optional<std::string> FileView::field(std::size_t row, std::string_view title) const {
  auto column = lookup().find(title);
  if (!column) return std::nullopt;
  return rows()[row][*column];
}

std::vector<std::string> FileView::column(std::size_t index) const {
  std::vector<std::string> out;
  out.reserve(size());
  for (const auto& row : rows()) out.push_back(row[index]);
  return out;
}

std::optional<std::vector<std::string>> FileView::column(std::string_view title) const {
  auto index = lookup().find(title);
  if (!index) return std::nullopt;
  return column(*index);
}

}  // namespace tamrikcsv
