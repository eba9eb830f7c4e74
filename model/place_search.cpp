#include "model/place_search.hpp"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>

namespace tamrik {

namespace {

// Appends `text` folded to `out`: a search index of a million places is mostly ASCII, folded in place
// without a string of its own.
void appendFolded(std::string& out, std::string_view text) {
  const std::size_t start = out.size();
  out.resize(start + text.size());
  char* folded = out.data() + start;
  unsigned char high = 0;  // any byte past ASCII sets its top bit
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    high |= static_cast<unsigned char>(c);
    folded[i] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  }
  if (high < 0x80) return;
  out.resize(start);
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
  if (U_FAILURE(status)) {
    out.append(text);
    return;
  }
  icu::UnicodeString decomposed = nfd->normalize(
      icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size()))), status);
  if (U_FAILURE(status)) {
    out.append(text);
    return;
  }
  // Accents are the combining marks that the decomposition split off.
  icu::UnicodeString bare;
  for (int32_t i = 0; i < decomposed.length(); i = decomposed.moveIndex32(i, 1)) {
    UChar32 c = decomposed.char32At(i);
    if (u_charType(c) != U_NON_SPACING_MARK) bare.append(c);
  }
  bare.foldCase().toUTF8String(out);  // appends
}

}  // namespace

std::string foldForSearch(std::string_view text) {
  std::string folded;
  appendFolded(folded, text);
  return folded;
}

bool PlaceSearch::Entry::contains(std::string_view folded) const {
  return name.find(folded) != std::string::npos || id.find(folded) != std::string::npos;
}

PlaceSearch::PlaceSearch(const std::vector<TamrikLocation>& locations) {
  locations_.reserve(locations.size());
  for (const auto& location : locations) {
    Location& l = locations_.emplace_back();
    l.entry = {foldForSearch(location.name), foldForSearch(location.locationId)};
    for (const auto& level : location.levels) {
      Level& v = l.levels.emplace_back();
      v.entry = {foldForSearch(level.name), foldForSearch(level.levelId)};
      for (const auto& zone : level.zones) {
        Zone& z = v.zones.emplace_back();
        z.entry = {foldForSearch(zone.name), foldForSearch(zone.zoneId)};
        z.placeStarts.reserve(zone.places.size() + 1);
        std::size_t size = 0;  // as folding ASCII leaves it, so that the text mostly grows once
        for (const auto& place : zone.places) size += place->name().size() + place->placeId().size() + 2;
        z.places.reserve(size);
        for (const auto& place : zone.places) {
          z.placeStarts.push_back(static_cast<std::uint32_t>(z.places.size()));
          appendFolded(z.places, place->name());
          z.places.push_back('\n');
          appendFolded(z.places, place->placeId());
          z.places.push_back('\n');
        }
        z.placeStarts.push_back(static_cast<std::uint32_t>(z.places.size()));
      }
    }
  }
}

SearchResult PlaceSearch::find(std::string_view text) const {
  const std::string folded = foldForSearch(text);
  SearchResult result;
  result.locations.resize(locations_.size());
  result.levels.resize(locations_.size());
  result.zones.resize(locations_.size());
  for (std::size_t l = 0; l < locations_.size(); ++l) {
    const Location& location = locations_[l];
    const bool locationMatched = location.entry.contains(folded);
    bool showLocation = locationMatched;
    result.levels[l].resize(location.levels.size());
    result.zones[l].resize(location.levels.size());
    for (std::size_t v = 0; v < location.levels.size(); ++v) {
      const Level& level = location.levels[v];
      const bool levelMatched = locationMatched || level.entry.contains(folded);
      bool showLevel = levelMatched;
      auto& zones = result.zones[l][v];
      zones.resize(level.zones.size(), hidden);
      for (std::size_t z = 0; z < level.zones.size(); ++z) {
        const Zone& zone = level.zones[z];
        if (levelMatched || zone.entry.contains(folded)) {
          zones[z] = allPlaces;
        } else if (zone.places.find(folded) != std::string::npos) {
          zones[z] = somePlaces;
        }
        showLevel = showLevel || zones[z] != hidden;
      }
      result.levels[l][v] = showLevel;
      showLocation = showLocation || showLevel;
    }
    result.locations[l] = showLocation;
  }
  return result;
}

bool PlaceSearch::placeMatches(std::size_t location, std::size_t level, std::size_t zone, std::size_t place,
                               std::string_view foldedText) const {
  const Zone& z = locations_.at(location).levels.at(level).zones.at(zone);
  std::string_view text(z.places);
  text = text.substr(z.placeStarts.at(place), z.placeStarts.at(place + 1) - z.placeStarts[place]);
  return text.find(foldedText) != std::string_view::npos;
}

}  // namespace tamrik
