#pragma once
// The worker thread's COM apartment (single-threaded), entered for the
// holder's lifetime. Nothing to do where there is no COM.

namespace qv {

class ComApartment {
 public:
  ComApartment();
  ~ComApartment();
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  [[maybe_unused]] bool entered_ = false;  // read where there is COM
};

}  // namespace qv
