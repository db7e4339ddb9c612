#include "agent/application.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "database/database.h"
#include "database/schema.h"
#include "foundation/settings.h"
#include "platform/message_sink.h"
#include "platform/registry_store.h"
#include "test_support.h"

namespace orvalis {
namespace {

namespace fs = std::filesystem;

struct Recording_sink : platform::Message_sink {
  void show(const std::string& title, const std::string& text) override {
    shown.push_back(title + ": " + text);
  }
  std::vector<std::string> shown;
};

// A fresh settings folder and data folder per test; the application is started and ended
// inside each test.
class ApplicationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("ORVALIS_CONFIG_HOME", (root_ / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (root_ / "data").c_str(), 1);
    setenv("ORVALIS_SHIPPED_DATA", ORVALIS_DATA_DIR, 1);
    platform::Registry_store::instance().close();
    Settings_cache::instance().clear();
    platform::set_message_sink(&sink_);
  }
  void TearDown() override {
    // The hooks may refer to the test's locals: drop them before the last exit.
    Application::instance().hooks() = Application::Hooks{};
    Application::instance().exit();
    platform::Registry_store::instance().close();
    platform::set_message_sink(nullptr);
  }
  std::string make_database(const char* name) {
    std::string path = (root_ / name).string();
    EXPECT_TRUE(create_database(Ref_string(path.c_str())));
    return path;
  }
  testing::Temp_dir dir_{"orvalis-app-"};
  fs::path root_ = dir_.path();
  Recording_sink sink_;
};

TEST_F(ApplicationTest, HooksRunInOrderAndTheClosedFileIsRemembered) {
  std::string path = make_database("a.ov2");
  Application& app = Application::instance();
  std::vector<std::string> calls;
  app.hooks().after_open = [&] { calls.push_back("after_open"); };
  app.hooks().after_start_up = [&] { calls.push_back("after_start_up"); };
  app.hooks().end_of_start_up = [&] { calls.push_back("end_of_start_up"); };
  app.hooks().before_close = [&] { calls.push_back("before_close"); };
  app.hooks().program_end = [&] { calls.push_back("program_end"); };
  Application::Start_options options;
  options.database = path;
  ASSERT_TRUE(app.start(options));
  EXPECT_TRUE(app.database_open());
  app.exit();
  EXPECT_EQ(calls, (std::vector<std::string>{"after_open", "after_start_up", "end_of_start_up",
                                             "before_close", "program_end"}));
  EXPECT_EQ(platform::Registry_store::instance().read("LastDatabase"), fs::absolute(path).string());
}

TEST_F(ApplicationTest, LastDatabaseOpensUnlessAFileIsNamed) {
  std::string a = make_database("a.ov2");
  std::string b = make_database("b.ov2");
  Application& app = Application::instance();
  ASSERT_TRUE(app.start({}));
  platform::Registry_store::instance().write("LastDatabase", a);
  app.exit();
  platform::Registry_store::instance().close();

  ASSERT_TRUE(app.start({}));
  EXPECT_EQ(Database::shared().path(), a);
  app.exit();
  platform::Registry_store::instance().close();

  Application::Start_options named;
  named.database = b;
  ASSERT_TRUE(app.start(named));
  EXPECT_EQ(Database::shared().path(), b);
}

TEST_F(ApplicationTest, ALastDatabaseThatNoLongerOpensLeavesTheProgramRunning) {
  std::string path = (root_ / "gone.ov2").string();
  Application& app = Application::instance();
  ASSERT_TRUE(app.start({}));
  platform::Registry_store::instance().write("LastDatabase", path);
  app.exit();
  platform::Registry_store::instance().close();
  sink_.shown.clear();

  ASSERT_TRUE(app.start({}));
  EXPECT_FALSE(app.database_open());
  EXPECT_EQ(platform::Registry_store::instance().read("LastDatabase"), path);

  std::ofstream(root_ / "text.ov2") << "plain text, not a database";
  EXPECT_FALSE(app.open_database((root_ / "text.ov2").c_str()));
  ASSERT_FALSE(sink_.shown.empty());
  EXPECT_EQ(sink_.shown.back(), "Error: File is not a valid Orvalis database.");
}

}  // namespace
}  // namespace orvalis
