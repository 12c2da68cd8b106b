#pragma once
// The template object (class 0x6C) of the Logix personalities: a structure type's attributes by
// Get Attribute List and its definition by Read Template, in pieces when it does not fit a reply.

#include "tag_services.h"

#include <cstdint>
#include <vector>

namespace absim {

constexpr uint8_t kTemplateClass = 0x6C;

std::vector<uint8_t> templateService(const CipTarget &t, uint8_t service, uint32_t instance, const uint8_t *data,
                                     size_t n);

} // namespace absim
