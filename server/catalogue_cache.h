#pragma once
// The catalogue as the session threads see it: one immutable snapshot shared by all of them,
// reloaded from the store when its generation number has moved. Matching then needs no store
// access, and an operator's change is seen by the next report.
#include <memory>
#include <mutex>

#include "catalogue.h"
#include "server_store.h"

namespace cv2 {

class CatalogueCache {
 public:
  // The current snapshot, reloaded through the caller's store when it is out of date.
  std::shared_ptr<const Catalogue> Get(ServerStore& store);

 private:
  std::mutex m_mutex;
  std::shared_ptr<const Catalogue> m_current;
};

}  // namespace cv2
