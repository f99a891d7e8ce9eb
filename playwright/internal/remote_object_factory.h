// Makes the client-side object for a "__create__" message, by its type.
#pragma once

#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "playwright/internal/remote_object.h"

namespace playwright::detail {

// A PageImpl for "Page", a FrameImpl for "Frame", and so on; a plain
// RemoteObject for the types this client does not use by themselves.
std::shared_ptr<RemoteObject> make_remote_object(std::weak_ptr<Connection> connection, std::string guid,
                                                 std::string type, nlohmann::json initializer);

}  // namespace playwright::detail
