#pragma once
namespace fw {
class SmokeFlameDetector {};
}  // namespace fw
