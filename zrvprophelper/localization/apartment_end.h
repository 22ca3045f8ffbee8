#pragma once
// Gives a thread's registered server object back when the host takes the
// thread out of its apartment. The map holds one reference on the object for
// as long as the entry stays, and the thread-detach clean-up cannot give it
// back: it runs under the loader lock, after the apartment is gone. A host
// that opens each properties dialog on a thread of its own would otherwise
// keep one server object per ended thread.

namespace zrv {

// Asks the system to tell this module each time the calling thread enters or
// leaves COM (once per thread; later calls do nothing). When the host leaves
// the last of its own entries, on that thread and outside the loader lock,
// the entry this module registered for the thread is cleared and the map's
// reference released, unless a lookup still holds it. A thread that ends
// without leaving keeps its entry until its thread-detach clean-up.
void WatchApartmentEnd() noexcept;

// While one lives on a thread, the entries into COM that the thread makes
// are a library's and not the host's. Some libraries enter COM or OLE on the
// calling thread each time they are set up and never leave (Wine's control
// hosting does): counted as the library's, they do not keep the host's last
// exit from being seen.
class LibraryComEntries {
  public:
    LibraryComEntries() noexcept;
    LibraryComEntries(const LibraryComEntries&) = delete;
    LibraryComEntries& operator=(const LibraryComEntries&) = delete;
    ~LibraryComEntries();

  private:
    bool m_counting = false;
};

}  // namespace zrv
