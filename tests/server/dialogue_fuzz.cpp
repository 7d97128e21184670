// Arbitrary bytes as a decompressed report, and as a client's side of a session.
#include <cstddef>
#include <cstdint>
#include <string>

#include "catalogue.h"
#include "catalogue_cache.h"
#include "report.h"
#include "session_dialogue.h"
#include "sqlite_server_store.h"
#include "text_util.h"

namespace {
struct World {
  World() : store(":memory:"), log([](const std::string&) {}) {
    cv2::CatalogueEntry entry;
    entry.Fields.BaseKey = "K";
    entry.Fields.Version = "1.0";
    entry.Fields.Location = "*http**zip\"{packages}/K/1.0/a.zip\"";
    entry.Ids = {"PCI\\VEN_1", "USB\\A"};
    store.PutEntries({entry}, false);
    user = store.CreateUser().User;
    limits.MaxBuffer = 1 << 16;
    limits.MaxText = 1 << 20;
  }
  cv2::SqliteServerStore store;
  cv2::ServerLog log;
  cv2::CatalogueCache cache;
  cv2::DialogueLimits limits;
  uint32_t user = 0;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static World world;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    const cv2::Report report = cv2::ParseReport(bytes);
    world.cache.Get(world.store)->UpdateList(report, "http://p");
  } catch (const cv2::ReportError&) {
  }
  // The same bytes from a client, in two pieces; "%U" stands for the known user number.
  std::string input(bytes);
  for (size_t at = input.find("%U"); at != std::string::npos; at = input.find("%U", at))
    input.replace(at, 2, cv2::HexUpper(world.user, 8));
  cv2::SessionDialogue dialogue(world.store, world.cache, world.log, world.limits, "fuzz",
                                "http://p");
  dialogue.Receive(std::string_view(input).substr(0, input.size() / 2));
  dialogue.Receive(std::string_view(input).substr(input.size() / 2));
  dialogue.PeerClosed();
  return 0;
}
