// DES deciphering beside OpenSSL's EVP DES-ECB (through its legacy provider), both under a key
// set once: 1 KiB in electronic codebook mode, and one block at a time, each block waiting for
// the one before (the latency of a single block, call overhead included).

#include "bench/side_by_side.h"
#include "cipher/des.h"

#include <openssl/evp.h>
#include <openssl/provider.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>

namespace {

using namespace tvk9;

constexpr DesKey Key{0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1};
constexpr std::size_t KiB = 1024;

struct Evp {
    std::unique_ptr<EVP_CIPHER, decltype(&EVP_CIPHER_free)> cipher{nullptr, EVP_CIPHER_free};
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx{nullptr,
                                                                        EVP_CIPHER_CTX_free};
};

// A deciphering context for DES-ECB under Key, no padding; false when OpenSSL has no DES.
bool OpenEvp(Evp& evp) {
    if (OSSL_PROVIDER_load(nullptr, "legacy") == nullptr ||
        OSSL_PROVIDER_load(nullptr, "default") == nullptr) {
        return false;
    }
    evp.cipher.reset(EVP_CIPHER_fetch(nullptr, "DES-ECB", nullptr));
    evp.ctx.reset(EVP_CIPHER_CTX_new());
    return evp.cipher && evp.ctx &&
           EVP_DecryptInit_ex2(evp.ctx.get(), evp.cipher.get(), Key.data(), nullptr, nullptr) ==
               1 &&
           EVP_CIPHER_CTX_set_padding(evp.ctx.get(), 0) == 1;
}

} // namespace

int main() {
    Evp evp;
    if (!OpenEvp(evp)) {
        std::fprintf(stderr, "cipher_bench: OpenSSL offers no DES-ECB (legacy provider missing)\n");
        return 1;
    }
    DesKeySchedule(Key);
    const int rounds = bench::Rounds(15);

    // 1 KiB of cipher text, deciphered into a buffer of its own.
    std::array<DesBlock, KiB / 8> in{};
    std::array<DesBlock, KiB / 8> out{};
    std::mt19937 random(46);
    for (auto& block : in) {
        for (auto& b : block) {
            b = static_cast<std::uint8_t>(random());
        }
    }
    std::array<std::uint8_t, KiB> evpOut{};
    int evpLength = 0;
    auto project = [&] {
        for (std::size_t i = 0; i < in.size(); ++i) {
            DesCipherBlock(DesMode::Decipher, in[i], out[i]);
        }
    };
    auto peer = [&] {
        EVP_DecryptUpdate(evp.ctx.get(), evpOut.data(), &evpLength, in[0].data(), KiB);
    };
    project();
    peer();
    if (evpLength != static_cast<int>(KiB) || std::memcmp(out.data(), evpOut.data(), KiB) != 0) {
        std::fprintf(stderr, "cipher_bench: OpenSSL deciphers the 1 KiB differently\n");
        return 1;
    }
    const int kibCalls = bench::CallsIn(0.002, project);
    auto kib = bench::Alternate(rounds, {[&] { return bench::SecondsPerCall(project, kibCalls); },
                                         [&] { return bench::SecondsPerCall(peer, kibCalls); }});
    bench::PrintFigure("DES decipher 1 KiB (ECB, key set)", bench::Throughput(KiB), kib[0],
                       "OpenSSL EVP DES-ECB", kib[1], 1.0);

    // One block, chained: each call deciphers what the one before produced.
    DesBlock chained = in[0];
    std::array<std::uint8_t, 8> evpChained{};
    auto projectBlock = [&] { DesCipherBlock(DesMode::Decipher, chained, chained); };
    auto peerBlock = [&] {
        EVP_DecryptUpdate(evp.ctx.get(), evpChained.data(), &evpLength, evpChained.data(), 8);
    };
    const int blockCalls = bench::CallsIn(0.002, projectBlock);
    auto block =
        bench::Alternate(rounds, {[&] { return bench::SecondsPerCall(projectBlock, blockCalls); },
                                  [&] { return bench::SecondsPerCall(peerBlock, blockCalls); }});
    bench::PrintFigure("DES decipher one 8-byte block", bench::Time(), block[0], "OpenSSL EVP",
                       block[1], 1.0);
    return 0;
}
