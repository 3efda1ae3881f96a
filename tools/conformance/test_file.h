// Reader of the recorded single-instruction test files: one file per
// instruction family, each test the processor state and touched memory
// words before and after one instruction, plus its bus transactions.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "common/types.h"

namespace conformance {

struct MemoryWord {
  u32 address;  // 24-bit; high byte at address, low byte at address + 1
  u16 value;
};

struct CpuState {
  u32 d[8];
  u32 a[7];  // A0-A6; A7 is usp or ssp by the S bit
  u32 usp;
  u32 ssp;
  u16 sr;
  u32 pc;  // address of the next prefetch: the instruction starts at pc - 4
  u16 prefetch[2];
  std::vector<MemoryWord> memory;
};

enum class BusKind : u8 {
  idle = 0,
  write = 1,
  read = 2,
  read_modify_write = 3,
  read_address_error = 4,
  write_address_error = 5,
};

struct Transaction {
  BusKind kind;
  u32 cycles;
  u32 fc, address, data, uds, lds;  // zero for idle cycles
};

struct TestCase {
  std::string name;
  CpuState initial;
  CpuState final;
  u32 cycles;
  std::vector<Transaction> transactions;

  u16 opcode() const { return initial.prefetch[0]; }
  // Whether the recorded run ends in an address error.
  bool address_error() const;
};

// Parses a whole file image into tests. On a malformed or truncated image it
// returns false and sets error to a message naming the byte offset (and the
// test, once the header is read); tests is then left empty.
bool parse_test_file(std::span<const u8> image, std::vector<TestCase>& tests, std::string& error);

// Reads and parses the file at path, plain or gzip-compressed (NAME.bin or
// NAME.bin.gz); an unreadable or damaged file is an error too.
bool load_test_file(const std::string& path, std::vector<TestCase>& tests, std::string& error);

// Magic numbers of the format.
constexpr u32 file_magic = 0x1A3F5D71;
constexpr u32 test_magic = 0xABC12367;
constexpr u32 name_magic = 0x89ABCDEF;
constexpr u32 state_magic = 0x01234567;
constexpr u32 transactions_magic = 0x456789AB;

}  // namespace conformance
