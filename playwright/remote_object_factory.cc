#include "playwright/internal/remote_object_factory.h"

#include <string_view>
#include <unordered_map>

#include "playwright/internal/browser_context_impl.h"
#include "playwright/internal/browser_type_impl.h"
#include "playwright/internal/frame_impl.h"
#include "playwright/internal/page_impl.h"
#include "playwright/internal/response_impl.h"
#include "playwright/internal/tracing_impl.h"

namespace playwright::detail {

namespace {

template <typename T>
std::shared_ptr<RemoteObject> make(std::weak_ptr<Connection> connection, std::string guid, std::string type,
                                   nlohmann::json initializer) {
  return std::make_shared<T>(std::move(connection), std::move(guid), std::move(type), std::move(initializer));
}

using Maker = decltype(&make<RemoteObject>);

}  // namespace

std::shared_ptr<RemoteObject> make_remote_object(std::weak_ptr<Connection> connection, std::string guid,
                                                 std::string type, nlohmann::json initializer) {
  static const std::unordered_map<std::string_view, Maker> kMakers = {
      {"Page", &make<PageImpl>},
      {"Frame", &make<FrameImpl>},
      {"Response", &make<ResponseImpl>},
      {"BrowserContext", &make<BrowserContextImpl>},
      {"BrowserType", &make<BrowserTypeImpl>},
      {"Tracing", &make<TracingImpl>},
  };
  auto it = kMakers.find(type);
  const Maker maker = it == kMakers.end() ? &make<RemoteObject> : it->second;
  return maker(std::move(connection), std::move(guid), std::move(type), std::move(initializer));
}

}  // namespace playwright::detail
