// The ".scram" transform: a fixed four-byte mark, then the bytes XORed with a keyed keystream.
//
// The keystream is xorshift64* started from a fixed 64-bit key; each 64-bit output gives eight
// key bytes, lowest first. Byte i of the body is plain byte i XOR key byte i, so the same
// function scrambles and descrambles, and a reader can start at any multiple of eight bytes
// by stepping the generator. The mark lets a reader refuse a file that was never scrambled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

constexpr size_t k_scramble_mark_size = 4;
extern const uint8_t k_scramble_mark[k_scramble_mark_size];

struct scramble_stream {
    uint64_t state; // generator state
    uint64_t word;  // key bytes not yet used, lowest first
    int word_left;  // bytes left in word
};

// The stream at the first body byte (just after the mark).
void scramble_start(scramble_stream* s);
// XORs count bytes with the next key bytes; scrambles plain bytes and descrambles scrambled ones.
void scramble_apply(scramble_stream* s, uint8_t* bytes, size_t count);
// A whole ".scram" file for the given plain bytes (the mark and the transformed body).
std::string scramble_bytes(const std::string& plain);
