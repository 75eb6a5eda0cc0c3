#pragma once
// Sends catalogue forms through the Controller's request layer.

#include "formfields.h"

class RequestLayer;

namespace zq::catalogue {

// A poster that turns the fields into a multipart body and posts it through layer.
Poster requestPoster(RequestLayer* layer);

} // namespace zq::catalogue
