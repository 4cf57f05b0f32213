// The instruction model: ordered collections counted from 1, keys without regard to case,
// refused adds that leave a collection as it was, and the key text rule of a parent table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/context.h"
#include "instructions/instruction_model.h"
#include "tests/support/fake_backend.h"
#include "tests/support/recording_progress.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/test_files.h"

namespace msu::instructions {
namespace {

using Error = std::pair<long, std::string>;

template <typename Work>
Error Thrown(Work work) {
  return testing::Thrown<CollectionError>(work);
}

template <typename Collection>
std::vector<std::string> Names(const Collection& collection) {
  std::vector<std::string> names;
  for (const auto& item : collection) names.push_back(item.TableName());
  return names;
}

TEST(Tables, KeysAreFoundAndRefusedWithoutRegardToCase) {
  Tables tables;
  PTable& incidents = tables.Add("Incidents", "IncidentID", "Incidents");
  tables.Add("Resources", "ResourceID", "Resources");

  EXPECT_EQ(&tables.Item("incidents"), &incidents);
  EXPECT_EQ(&tables.Item("INCIDENTS"), &incidents);
  EXPECT_TRUE(tables.Contains("rEsOuRcEs"));

  EXPECT_EQ(Thrown([&] { tables.Add("INCIDENTS", "Other", "INCIDENTS"); }),
            Error(457,
                  "This key is already associated with an element of this collection: "
                  "\"INCIDENTS\""));
  // The refused add changed nothing.
  EXPECT_EQ(tables.Count(), 2);
  EXPECT_EQ(Names(tables), (std::vector<std::string>{"Incidents", "Resources"}));
  EXPECT_EQ(tables.Item("incidents").PrimaryKey(), "IncidentID");
}

TEST(Tables, IndexesFollowTheOrderOfAddingFromOne) {
  Tables tables;
  tables.Add("C", "k");
  tables.Add("A", "k", "A");
  tables.Add("B", "k");
  EXPECT_EQ(tables.Item(1).TableName(), "C");
  EXPECT_EQ(tables.Item(3).TableName(), "B");

  for (long bad : {0L, 4L, -1L}) {
    EXPECT_EQ(Thrown([&] { tables.Item(bad); }),
              Error(9, "Subscript out of range: this collection has no element at index " +
                           std::to_string(bad) + " (it holds 3)"));
  }
  // Added without a key: not found by its name.
  EXPECT_EQ(Thrown([&] { tables.Item("B"); }),
            Error(5, "No element of this collection has the key \"B\""));
}

TEST(Tables, RemoveByIndexOrKeyKeepsTheRestInOrder) {
  Tables tables;
  tables.Add("A", "k", "A");
  tables.Add("B", "k", "B");
  tables.Add("C", "k", "C");
  tables.Add("D", "k");

  tables.Remove("b");
  EXPECT_EQ(Names(tables), (std::vector<std::string>{"A", "C", "D"}));
  // The key is free again.
  tables.Add("B2", "k", "B");
  tables.Remove(1);
  EXPECT_EQ(Names(tables), (std::vector<std::string>{"C", "D", "B2"}));
  EXPECT_FALSE(tables.Contains("A"));

  EXPECT_THROW(tables.Remove(4), CollectionError);
  EXPECT_THROW(tables.Remove("A"), CollectionError);
  EXPECT_EQ(tables.Count(), 3);
}

TEST(PTable, AutoIncrementKeyTextGivesTheFieldAfterTheLastEquals) {
  struct Case {
    std::string key_text;
    std::string primary_key;
    bool auto_increment;
  };
  const std::vector<Case> cases = {
      {"AUTOINCREMENT=IncidentID", "IncidentID", true},
      {"autoincrement=Id", "Id", true},
      {"AutoIncrement=a=b", "b", true},
      {"AUTOINCREMENT= Id ", " Id ", true},  // untrimmed
      {"AUTOINCREMENT", "AUTOINCREMENT", true},
      {"Id", "Id", false},
      {"PersonID+leaderid", "PersonID+leaderid", false},
      {"Key=Value", "Key=Value", false},
      {"", "", false},
  };
  for (const Case& c : cases) {
    PTable table;
    table.SetPrimaryKey(c.key_text);
    EXPECT_EQ(table.PrimaryKey(), c.primary_key) << c.key_text;
    EXPECT_EQ(table.AutoIncrement(), c.auto_increment) << c.key_text;
  }

  // Every write decides anew: the renumbering writes back the first of two key fields.
  Tables tables;
  PTable& persons = tables.Add("Persons", "AUTOINCREMENT=PersonID", "Persons");
  EXPECT_TRUE(persons.AutoIncrement());
  persons.SetPrimaryKey("PersonID");
  EXPECT_FALSE(persons.AutoIncrement());
  EXPECT_EQ(persons.PrimaryKey(), "PersonID");
}

class ChildrenAdd : public ::testing::Test {
 protected:
  RecordingProgress progress_;
  ScriptedPrompt prompt_;
  testing::FakeBackend backend_;
  Context context_{"/nowhere", progress_, prompt_, backend_};
};

// Adding a child names its table in CurrentOperation; a refused child goes to the error log
// and is still returned, as a live object.
TEST_F(ChildrenAdd, ARefusedChildGoesToTheErrorLogAndIsStillReturned) {
  PTable parent;
  parent.Children().Add(context_, "Quals", "ResourceID", "Quals");
  EXPECT_EQ(context_.merge.CurrentOperation, " Loading CVN Table instructions for: Quals");
  EXPECT_TRUE(progress_.Texts(LogPage::kCheck).empty());
  EXPECT_FALSE(context_.ErrorFlag);

  Child& refused = parent.Children().Add(context_, "QUALS", "Other", "quals");
  EXPECT_EQ(refused.TableName(), "QUALS");
  EXPECT_EQ(refused.ForeignKey(), "Other");
  EXPECT_EQ(parent.Children().Count(), 1);
  EXPECT_EQ(parent.Children().Item(1).ForeignKey(), "ResourceID");
  EXPECT_EQ(progress_.Texts(LogPage::kCheck),
            (std::vector<std::string>{"457\tThis key is already associated with an element of "
                                      "this collection: \"quals\""}));
  EXPECT_TRUE(context_.ErrorFlag);
}

}  // namespace
}  // namespace msu::instructions
