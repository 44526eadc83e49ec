// The memory of one gumbo parse, and the time and memory it may take. Every
// block the parser asks for is recorded, so that the whole parse is released
// at once, without walking its tree (the parser's own release recurses as
// deep as the tree), and so that a parse that runs past its limits is
// abandoned: the parser is left through a long jump from its allocator and
// everything it held is freed here.
#pragma once

#include <gumbo.h>

#include <chrono>
#include <csetjmp>
#include <cstddef>

class TGumboHeap {
 public:
  using Clock = std::chrono::steady_clock;

  // Why a parse was abandoned.
  enum class TStop { kNone, kTime, kMemory };

  TGumboHeap(Clock::duration timeLimit, std::size_t byteLimit);
  ~TGumboHeap();
  TGumboHeap(const TGumboHeap&) = delete;
  TGumboHeap& operator=(const TGumboHeap&) = delete;

  // Parses text with options whose allocator is this heap's. Null when the
  // parse ran past a limit (Stopped says which): nothing of it is left then.
  GumboOutput* Parse(GumboOptions options, const char* text, std::size_t size);
  TStop Stopped() const { return stopped_; }

 private:
  struct Block {
    Block* prev;
    Block* next;
    std::size_t size;
  };
  static void* Allocate(void* self, std::size_t size);
  static void Deallocate(void* self, void* pointer);
  [[noreturn]] void Abandon(TStop why);
  void ReleaseAll();

  Block head_{&head_, &head_, 0};  // the blocks in use, a ring through this one
  Clock::time_point deadline_;
  std::size_t byteLimit_;
  std::size_t bytes_ = 0;  // in use now
  unsigned calls_ = 0;
  TStop stopped_ = TStop::kNone;
  std::jmp_buf escape_;
};
