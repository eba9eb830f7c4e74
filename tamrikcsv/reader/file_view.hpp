#pragma once

#include <cstddef>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tamrikcsv/text/detail/title_index.hpp"

namespace tamrikcsv {

/// Column positions by header title. A title is found by its text, else by canonical equivalence, so
/// "Café" finds a header written with "e" and U+0301 (and the other way round); case matters.
class HeaderLookup {
 public:
  /// The empty lookup.
  HeaderLookup() = default;
  /// Maps each header to its index; throws `CSVError<CSVReader>` (`invalidInput`) when a title repeats.
  explicit HeaderLookup(const std::vector<std::string>& headers);

  /// The column of `title`, if any: the header with that text, else the first one canonically equivalent
  /// to it.
  std::optional<std::size_t> find(std::string_view title) const { return titles_.find(title); }
  /// The number of titles, and whether there are none.
  ///@{
  std::size_t size() const noexcept { return titles_.size(); }
  bool empty() const noexcept { return titles_.size() == 0; }
  ///@}

 private:
  detail::TitleIndex titles_;
};

namespace detail {
// A random-access iterator over a view that hands out elements by value through `view[index]`. It holds a
// copy of the view (which shares its file), so it stays valid on its own.
template <class View>
class IndexIterator {
 public:
  using iterator_category = std::random_access_iterator_tag;
  using value_type = std::remove_cvref_t<decltype(std::declval<const View&>()[std::size_t{}])>;
  using difference_type = std::ptrdiff_t;
  using reference = value_type;
  using pointer = void;

  IndexIterator() = default;
  IndexIterator(View view, std::size_t index) : view_(std::move(view)), index_(index) {}
  reference operator*() const { return view_[index_]; }
  reference operator[](difference_type n) const { return view_[index_ + static_cast<std::size_t>(n)]; }
  IndexIterator& operator++() { return ++index_, *this; }
  IndexIterator operator++(int) {
    auto old = *this;
    ++index_;
    return old;
  }
  IndexIterator& operator--() { return --index_, *this; }
  IndexIterator operator--(int) {
    auto old = *this;
    --index_;
    return old;
  }
  IndexIterator& operator+=(difference_type n) { return index_ += static_cast<std::size_t>(n), *this; }
  IndexIterator& operator-=(difference_type n) { return index_ -= static_cast<std::size_t>(n), *this; }
  friend IndexIterator operator+(IndexIterator it, difference_type n) { return it += n; }
  friend IndexIterator operator+(difference_type n, IndexIterator it) { return it += n; }
  friend IndexIterator operator-(IndexIterator it, difference_type n) { return it -= n; }
  friend difference_type operator-(const IndexIterator& a, const IndexIterator& b) {
    return static_cast<difference_type>(a.index_) - static_cast<difference_type>(b.index_);
  }
  friend bool operator==(const IndexIterator& a, const IndexIterator& b) { return a.index_ == b.index_; }
  friend auto operator<=>(const IndexIterator& a, const IndexIterator& b) { return a.index_ <=> b.index_; }

 private:
  View view_;
  std::size_t index_ = 0;
};
}  // namespace detail

/// One row with access to its fields by column title. A record owns its row.
///
/// ```cpp
/// while (auto record = reader.readRecord())
///   if (auto name = (*record)["Place Name"]) std::cout << *name << '\n';
/// ```
class Record {
 public:
  /// A record of `row` whose titles `lookup` resolves; with a null lookup no title resolves.
  Record(std::vector<std::string> row, std::shared_ptr<const HeaderLookup> lookup)
      : row_(std::move(row)), lookup_(std::move(lookup)) {}

  /// The fields in order.
  const std::vector<std::string>& row() const noexcept { return row_; }
  /// The number of fields.
  std::size_t size() const noexcept { return row_.size(); }
  /// The fields in order.
  ///@{
  auto begin() const noexcept { return row_.begin(); }
  auto end() const noexcept { return row_.end(); }
  ///@}
  /// The field at `index`, which must be below `size()`.
  const std::string& operator[](std::size_t index) const { return row_[index]; }
  /// A copy of the field under the column `title`; absent when there is no such column.
  std::optional<std::string> operator[](std::string_view title) const;

  /// Records are equal when their rows are, whatever lookup they were made with. `std::hash<Record>`
  /// likewise hashes the row alone.
  friend bool operator==(const Record& a, const Record& b) { return a.row_ == b.row_; }

 private:
  std::vector<std::string> row_;
  std::shared_ptr<const HeaderLookup> lookup_;
};

class FileView;

/// The rows of a `FileView` as records. It shares the file, so it may outlive the `FileView` it came from.
class RecordsView {
 public:
  /// No records.
  RecordsView();
  /// The records of `file`, which it shares.
  explicit RecordsView(const FileView& file);
  /// The number of rows.
  std::size_t size() const noexcept;
  /// The row at `index` (below `size()`) as a record, made anew on each call.
  Record operator[](std::size_t index) const;
  /// Random-access iterators that hand out records by value; each shares the file, so it stays valid on
  /// its own.
  ///@{
  detail::IndexIterator<RecordsView> begin() const { return {*this, 0}; }
  detail::IndexIterator<RecordsView> end() const { return {*this, size()}; }
  ///@}

 private:
  std::shared_ptr<const FileView> file_;
};

/// The columns of a `FileView`: one per header, each the list of that column's fields. It shares the file.
class ColumnsView {
 public:
  /// No columns.
  ColumnsView();
  /// The columns of `file`, which it shares.
  explicit ColumnsView(const FileView& file);
  /// The number of headers.
  std::size_t size() const noexcept;
  /// A copy of the column at `index` (below `size()`).
  std::vector<std::string> operator[](std::size_t index) const;
  /// Random-access iterators that hand out columns by value; each shares the file, so it stays valid on
  /// its own.
  ///@{
  detail::IndexIterator<ColumnsView> begin() const { return {*this, 0}; }
  detail::IndexIterator<ColumnsView> end() const { return {*this, size()}; }
  ///@}

 private:
  std::shared_ptr<const FileView> file_;
};

/// A whole CSV input: its headers and all its rows. Made by `CSVReader::decodeText` and its siblings.
///
/// ```cpp
/// auto file = CSVReader::decodeText("a,b\n1,2\n3,4\n", [](auto& c) {
///   c.headerStrategy = Strategy::Header::firstLine;
/// });
/// file.field(1, "b");  // "4"
/// file.column("a");    // {"1", "3"}
/// ```
class FileView {
 public:
  /// No headers and no rows.
  FileView();
  /// Throws `CSVError<CSVReader>` (`invalidInput`) when a header title repeats.
  FileView(std::vector<std::string> headers, std::vector<std::vector<std::string>> rows);
  /// Copies share the immutable contents; a move is a copy, so there is no emptier moved-from state.
  ///@{
  FileView(const FileView&) = default;
  FileView& operator=(const FileView&) = default;
  ///@}

  /// The header row's fields; empty without a header row.
  const std::vector<std::string>& headers() const noexcept { return contents_->headers; }
  /// The rows after the header row.
  const std::vector<std::vector<std::string>>& rows() const noexcept { return contents_->rows; }
  /// The number of rows (the header row not counted), and whether there are none.
  ///@{
  std::size_t size() const noexcept { return rows().size(); }
  bool empty() const noexcept { return rows().empty(); }
  ///@}
  /// The rows in order.
  ///@{
  auto begin() const noexcept { return rows().begin(); }
  auto end() const noexcept { return rows().end(); }
  ///@}
  /// The row at `index` (below `size()`).
  const std::vector<std::string>& operator[](std::size_t index) const { return rows()[index]; }

  /// The field at a row and column index, both in range.
  const std::string& field(std::size_t row, std::size_t column) const { return rows()[row][column]; }
  /// A copy of the field of a row under the column `title`; absent when there is no such column.
  std::optional<std::string> field(std::size_t row, std::string_view title) const;
  /// The column at `index` (below the header count).
  std::vector<std::string> column(std::size_t index) const;
  /// The column under `title`; absent when there is no such column.
  std::optional<std::vector<std::string>> column(std::string_view title) const;
  /// The row at `index` as a record.
  Record record(std::size_t index) const { return {rows()[index], lookupPointer()}; }

  /// The rows as records, in a view that shares the file.
  RecordsView records() const { return RecordsView(*this); }
  /// The columns, in a view that shares the file.
  ColumnsView columns() const { return ColumnsView(*this); }
  /// The column positions by header title.
  const HeaderLookup& lookup() const noexcept { return contents_->lookup; }

 private:
  friend class CSVReader;
  struct Contents {
    std::vector<std::string> headers;
    std::vector<std::vector<std::string>> rows;
    HeaderLookup lookup;
  };
  explicit FileView(std::shared_ptr<const Contents> contents) : contents_(std::move(contents)) {}
  std::shared_ptr<const HeaderLookup> lookupPointer() const { return {contents_, &contents_->lookup}; }

  std::shared_ptr<const Contents> contents_;  // never null
};

}  // namespace tamrikcsv

/// Records hash by their row alone, as they compare.
template <>
struct std::hash<tamrikcsv::Record> {
  std::size_t operator()(const tamrikcsv::Record& record) const noexcept {
    std::size_t seed = record.size();
    for (const auto& field : record)
      seed ^= std::hash<std::string>{}(field) + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
    return seed;
  }
};
