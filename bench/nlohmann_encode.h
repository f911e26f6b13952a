// nlohmann::json's MessagePack encoding of a prepared tree, into a fresh vector each time and into
// one reused vector: the peer's side of the encode rows, whatever the workload.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include <nlohmann/json.hpp>

#include "bench/bench_support.h"

namespace bench {

inline void NlohmannEncodeTree(benchmark::State& state, const nlohmann::json& tree,
                               const char* mismatch) {
  if (!Check(state, nlohmann::json::from_msgpack(nlohmann::json::to_msgpack(tree)) == tree,
             mismatch)) {
    return;
  }
  for (auto _ : state) {
    std::vector<uint8_t> bytes = nlohmann::json::to_msgpack(tree);
    benchmark::DoNotOptimize(bytes.data());
  }
}

inline void NlohmannEncodeTreeReused(benchmark::State& state, const nlohmann::json& tree,
                                     const char* mismatch) {
  std::vector<uint8_t> buffer;
  nlohmann::json::to_msgpack(tree, buffer);
  buffer.clear();
  nlohmann::json::to_msgpack(tree, buffer);
  if (!Check(state, nlohmann::json::from_msgpack(buffer) == tree, mismatch)) return;
  for (auto _ : state) {
    buffer.clear();
    nlohmann::json::to_msgpack(tree, buffer);
    benchmark::DoNotOptimize(buffer.data());
  }
}

}  // namespace bench
