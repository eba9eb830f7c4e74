#include <gtest/gtest.h>

#include "support/reading.hpp"

using namespace tamrikcsv;
using test::readerError;

namespace {

CSVError<CSVReader> settingsError(const CSVReader::Setter& setter) {
  return readerError([&] { (void)CSVReader::fromText("a", setter); });
}

}  // namespace

TEST(ReaderConfiguration, DefaultsValidate) {
  auto settings = ReaderSettings::make({});
  EXPECT_EQ(settings.delimiters.field, U",");
  EXPECT_EQ(settings.delimiters.row, std::set<std::u32string>{U"\n"});
  EXPECT_EQ(settings.escapingScalar, U'"');
  EXPECT_FALSE(settings.isTrimNeeded);
  ReaderConfiguration tabs;
  tabs.delimiters = {U'\t', Delimiter::Row::standard()};
  EXPECT_NO_THROW(ReaderSettings::make(tabs));
  // A field delimiter that starts a row delimiter is allowed: the field delimiter wins when both match.
  tabs.delimiters = {U'\r', "\r\n"};
  EXPECT_NO_THROW(ReaderSettings::make(tabs));
}

TEST(ReaderConfiguration, RejectsMissingAndEqualDelimiters) {
  auto missing = settingsError([](auto& c) { c.delimiters.field = nullptr; });
  EXPECT_EQ(missing.type(), CSVReader::Error::invalidConfiguration);
  EXPECT_EQ(missing.failureReason(), "Delimiter inference is not yet supported by this library");
  EXPECT_EQ(missing.helpAnchor(), "Specify a concrete delimiter or get in contact with the maintainer");
  EXPECT_TRUE(missing.errorUserInfo().empty());
  EXPECT_EQ(settingsError([](auto& c) { c.delimiters.row = nullptr; }).failureReason(),
            missing.failureReason());

  auto same = settingsError([](auto& c) { c.delimiters = {U'\n', Delimiter::Row::standard()}; });
  EXPECT_EQ(same.failureReason(), "The field and row delimiters cannot be the same.");
  EXPECT_EQ(same.helpAnchor(), "Set different delimiters for fields and rows.");
  EXPECT_EQ(*same.errorUserInfo().get<std::u32string>("Field delimiter"), U"\n");
  EXPECT_EQ(same.errorUserInfo().get<std::set<std::u32string>>("Row delimiters")->size(), 2u);
}

TEST(ReaderConfiguration, RejectsTrimCharactersThatDelimitOrEscape) {
  auto field = settingsError([](auto& c) { c.trimStrategy = {U' ', U','}; });
  EXPECT_EQ(field.failureReason(), "The trim character set includes the field delimiter.");
  EXPECT_EQ(field.helpAnchor(), "Remove the delimiter scalars from the trim character set.");
  EXPECT_TRUE(field.errorUserInfo().find("Field delimiter"));

  // The row check says "field delimiter" too; only the user info tells them apart.
  auto row = settingsError([](auto& c) { c.trimStrategy = CharacterSet::whitespacesAndNewlines(); });
  EXPECT_EQ(row.failureReason(), field.failureReason());
  EXPECT_TRUE(row.errorUserInfo().find("Row delimiter"));
  EXPECT_TRUE(row.errorUserInfo().find("Trim characters"));

  auto escaping = settingsError([](auto& c) { c.trimStrategy = {U'"'}; });
  EXPECT_EQ(escaping.failureReason(), "The trim characters set includes the escaping scalar.");
  EXPECT_EQ(escaping.helpAnchor(), "Remove the escaping scalar from the trim characters set.");
  EXPECT_EQ(*escaping.errorUserInfo().get<char32_t>("Escaping scalar"), U'"');

  ReaderConfiguration unescaped;
  unescaped.escapingStrategy = Strategy::Escaping::none();
  unescaped.trimStrategy = {U'"', U' '};
  EXPECT_TRUE(ReaderSettings::make(unescaped).isTrimNeeded);
}

TEST(Delimiters, MadeFromScalarsAndTexts) {
  EXPECT_EQ(Delimiter::Row::standard().description(), "\n");
  EXPECT_EQ(Delimiter::Row::fromTexts({"\r\n", "\r"})->description(), "\r");
  EXPECT_EQ(Delimiter::Row::fromTexts({"b", "a"})->description(), "a");
  EXPECT_EQ(Delimiter::Field("||").scalars, U"||");
  EXPECT_EQ(Delimiter::Field("→").scalars, U"→");
  EXPECT_FALSE(Delimiter::Field::fromText(""));
  EXPECT_FALSE(Delimiter::Row::fromTexts({"", ""}));
  EXPECT_EQ(Delimiter::Row::fromTexts({"\n", "", "\r\n"})->scalars.size(), 2u);
  EXPECT_THROW(Delimiter::Field(""), std::invalid_argument);
  EXPECT_THROW(Delimiter::Row("\xff"), std::invalid_argument);
  EXPECT_EQ(Strategy::Escaping(nullptr).scalar(), std::nullopt);
}

TEST(CharacterSet, MembershipAcrossMergedRanges) {
  CharacterSet set{U'a', U'é'};
  set.insert(U'\u2000', U'\u2005');
  set.insert(U'\u2003', U'\u200A');
  set.insert(U'\u200B');
  EXPECT_TRUE(set.contains(U'a'));
  EXPECT_TRUE(set.contains(U'é'));
  EXPECT_TRUE(set.contains(U'\u2007'));
  EXPECT_TRUE(set.contains(U'\u200B'));
  EXPECT_FALSE(set.contains(U'b'));
  EXPECT_FALSE(set.contains(U'\u200C'));
  EXPECT_EQ(set.ranges().size(), 3u);
  EXPECT_FALSE(set.isASCII());
  EXPECT_TRUE(CharacterSet::whitespaces().contains(U'\u3000'));
  EXPECT_FALSE(CharacterSet::whitespaces().contains(U'\n'));
  EXPECT_EQ(CharacterSet::fromText("ab"), (CharacterSet{U'b', U'a'}));
  EXPECT_TRUE(CharacterSet().empty());
}
