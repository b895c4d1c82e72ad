#pragma once
namespace fw {
class BackgroundModel {};
}  // namespace fw
