#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <set>

#include "model/detail/text_order.hpp"
#include "model/place_data_model.hpp"
#include "model_support.hpp"
#include "tamrikcsv/encoder/csv_encoder.hpp"

using namespace tamrik;
using test::describe;

namespace {

std::string built(std::vector<CSVRow> rows) {
  PlaceDataModel model;
  model.buildHierarchy(std::move(rows));
  return describe(model.locations());
}

// The fold as first written down: sort the rows, then fold them one by one, re-sorting a list by name
// whenever a member joins it. Quadratic, plain.
std::string foldedOneByOne(std::vector<CSVRow> rows) {
  using detail::compareComposed;
  std::stable_sort(rows.begin(), rows.end(), [](const CSVRow& a, const CSVRow& b) {
    for (auto field : {&CSVRow::locationId, &CSVRow::levelId, &CSVRow::zoneId, &CSVRow::placeId})
      if (int order = compareComposed(a.*field, b.*field)) return order < 0;
    return false;
  });
  struct Node {
    std::string id, name;
    std::vector<Node> members;
    std::set<std::string> serials;
  };
  std::vector<Node> locations;
  for (const auto& row : rows) {
    std::vector<Node>* list = &locations;
    Node* node = nullptr;
    for (auto member : {std::pair{&row.locationId, &row.locationName},
                        {&row.levelId, &row.levelName},
                        {&row.zoneId, &row.zoneName},
                        {&row.placeId, &row.placeName}}) {
      auto same = [&](const Node& n) { return n.id == *member.first; };
      if (std::find_if(list->begin(), list->end(), same) == list->end()) {
        list->push_back({*member.first, *member.second, {}, {}});
        std::stable_sort(list->begin(), list->end(),
                         [](const Node& a, const Node& b) { return compareComposed(a.name, b.name) < 0; });
      }
      node = &*std::find_if(list->begin(), list->end(), same);
      list = &node->members;
    }
    if (row.serialNumber) node->serials.insert(*row.serialNumber);
  }
  std::string out;
  std::function<void(const std::vector<Node>&, std::string)> print = [&](const auto& list,
                                                                         std::string indent) {
    for (const auto& node : list) {
      out += indent + node.id + " " + node.name;
      if (indent.size() == 6) {
        out += " [";
        for (const auto& serial : node.serials) out += serial + ";";
        out += "]";
      }
      out += "\n";
      print(node.members, indent + "  ");
    }
  };
  print(locations, "");
  return out;
}

CSVRow row(std::string location, std::string level, std::string zone, std::string place, std::string name,
           std::optional<std::string> serial = std::nullopt) {
  return {location, "Site " + location, level, "Floor " + level, zone, "Zone " + zone, place, name, serial};
}

}  // namespace

TEST(Hierarchy, OrdersByScalarsOfComposedText) {
  // Text order, not numeric: "10" before "9". Scalar order, not UTF-16 order: U+FF21 before U+1F600. A
  // decomposed "e\u0301" sorts as U+00E9 does, after every ASCII letter.
  EXPECT_EQ(
      built({row("L", "F", "Z", "P1", "9"), row("L", "F", "Z", "P2", "10"),
             row("L", "F", "Z", "P3", "\U0001F600"), row("L", "F", "Z", "P4", "\uFF21"),
             row("L", "F", "Z", "P5", "e\u0301"), row("L", "F", "Z", "P6", "f"),
             row("L", "F", "Z", "P7", "Z")}),
      "L Site L\n  F Floor F\n    Z Zone Z\n      P2 10 []\n      P1 9 []\n      P7 Z []\n      P6 f []\n"
      "      P5 e\u0301 []\n      P4 \uFF21 []\n      P3 \U0001F600 []\n");

  // Ids 2 and 10 named Beta and Alpha: listed by name.
  EXPECT_EQ(built({CSVRow{"2", "Beta", "F", "f", "Z", "z", "P", "p", {}},
                   CSVRow{"10", "Alpha", "F", "f", "Z", "z", "P", "p", {}}})
                .rfind("10 Alpha", 0),
            0u);
}

TEST(Hierarchy, NamesComeFromTheFirstRowByIdentifiersThenFileOrder) {
  std::vector<CSVRow> rows{
      CSVRow{"L", "Later", "F", "Floor later", "Z", "Zone later", "P2", "Desk B", "S3"},
      CSVRow{"L", "First", "F", "Floor first", "Z", "Zone first", "P1", "Desk A", "S1"},
      CSVRow{"L", "Ignored", "F", "Floor ignored", "Z", "Zone ignored", "P1", "Renamed", std::nullopt},
      CSVRow{"L", "Ignored", "F", "Floor ignored", "Z", "Zone ignored", "P1", "Renamed", "S2"},
      CSVRow{"L", "Ignored", "F", "Floor ignored", "Z", "Zone ignored", "P1", "Renamed", "S1"},
  };
  EXPECT_EQ(built(rows),
            "L First\n  F Floor first\n    Z Zone first\n      P1 Desk A [S1;S2;]\n      P2 Desk B [S3;]\n");
}

TEST(Hierarchy, MatchesIdentifiersOnlyWithinTheirParent) {
  auto text = built({row("L", "F1", "Z", "P", "Desk"), row("L", "F2", "Z", "P", "Desk"),
                     row("L", "F1", "Y", "P", "Desk"), row("M", "F1", "Z", "P", "Desk")});
  EXPECT_EQ(std::count(text.begin(), text.end(), '['), 4) << text;
}

TEST(Hierarchy, EqualsFoldingTheSortedRowsOneByOne) {
  // Few distinct texts, so that names, identifiers and canonically equivalent spellings collide often;
  // some alike in their first 24 bytes, which sort without the text.
  const std::vector<std::string> ids{"1",
                                     "10",
                                     "2",
                                     "e\u0301",
                                     "\u00e9",
                                     "a",
                                     "sixteen bytes id",
                                     "twenty-four bytes of id.",
                                     "twenty-four bytes of id.2"};
  const std::vector<std::string> names{"B",
                                       "a",
                                       "A",
                                       "\u00c5",
                                       "A\u030a",
                                       "b",
                                       "",
                                       "Desk by the window",
                                       "Desk by the windoe\u0301",
                                       "Desk by the windo\u00e9",
                                       "Desk by the wi",
                                       std::string("Desk by the wi\0", 15),
                                       "Dock, East Desk by the window",
                                       "Dock, East Desk by the windoe\u0301",
                                       "Dock, East Desk by the w",
                                       std::string("Dock, East Desk by the w\0", 25)};
  const test::ScratchFolder folder;
  std::mt19937 random(7);
  auto pick = [&](const std::vector<std::string>& from) { return from[random() % from.size()]; };
  for (int round = 0; round < 200; ++round) {
    std::vector<CSVRow> rows;
    // Now and then a long file, whose zones hold many places.
    const bool longFile = round % 20 == 0;
    // Now and then one large zone, whose places are sorted another way than a few.
    const bool oneZone = round % 40 == 10;
    const int rowCount = oneZone ? 800 : longFile ? 400 : 30;
    for (int k = 0, n = static_cast<int>(random() % rowCount); k < n; ++k) {
      std::string location = oneZone ? ids[0] : pick(ids);
      // Distinct location names: the order of equal ones is left open.
      std::string locationName =
          "Site " + std::to_string(std::find(ids.begin(), ids.end(), location) - ids.begin());
      std::string place = longFile || oneZone ? pick(ids) + std::to_string(random() % 600) : pick(ids);
      std::string placeName = pick(names) + (oneZone && random() % 2 ? std::to_string(random() % 300) : "");
      rows.push_back({location, locationName, oneZone ? ids[1] : pick(ids), pick(names),
                      oneZone ? ids[2] : pick(ids), pick(names), place, placeName,
                      random() % 3 ? std::optional(pick(ids)) : std::nullopt});
    }
    const std::string expected = foldedOneByOne(rows);
    ASSERT_EQ(built(rows), expected) << "round " << round;
    // A load folds the rows as they decode, from texts the decoder holds only until the next row.
    if (round % 10 == 0) {
      const tamrikcsv::CSVEncoder encoder([](tamrikcsv::CSVEncoder::Configuration& c) {
        const auto& titles = tamrikcsv::CodingKeyTraits<CSVRow::CodingKeys>::names;
        c.writerConfiguration.headers.assign(titles.begin(), titles.end());
      });
      encoder.encodeFile(rows, folder.path() / "places.csv");
      PlaceDataModel model;
      model.loadPlaces(folder.path() / "places.csv");
      ASSERT_EQ(describe(model.locations()), expected) << "round " << round;
    }
  }
}
