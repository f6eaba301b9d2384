// Runtime streams read by the native CDotNetStream.
using System;
using System.IO;
using System.Runtime.InteropServices;

namespace Velisc.Runtime.Interop {

internal static unsafe class Streams {
  internal static void Fill(ManagedTable* m) {
    m->StreamRead = &StreamRead;
    m->StreamSeek = &StreamSeek;
    m->StreamInfo = &StreamInfo;
  }

  // Reads through a transfer array into the native buffer.
  [UnmanagedCallersOnly]
  static int StreamRead(IntPtr id, byte* buffer, int n, int* read) {
    *read = 0;
    try {
      var stream = Handles.Get<Stream>(id);
      if (stream == null || n < 0) return 1;
      var transfer = new byte[Math.Min(n, 1 << 16)];
      int total = 0;
      while (total < n) {
        int got = stream.Read(transfer, 0, Math.Min(transfer.Length, n - total));
        if (got <= 0) break;
        Marshal.Copy(transfer, 0, (IntPtr)(buffer + total), got);
        total += got;
      }
      *read = total;
      return 0;
    } catch {
      return 1;
    }
  }

  // The new position, or -1.
  [UnmanagedCallersOnly]
  static long StreamSeek(IntPtr id, long offset, int origin) {
    try {
      var stream = Handles.Get<Stream>(id);
      if (stream == null || origin < 0 || origin > 2) return -1;
      return stream.Seek(offset, (SeekOrigin)origin);
    } catch {
      return -1;
    }
  }

  // what: 0 length, 1 position, 2 can read, 3 can write; -1 on failure.
  [UnmanagedCallersOnly]
  static long StreamInfo(IntPtr id, int what) {
    try {
      var stream = Handles.Get<Stream>(id);
      if (stream == null) return -1;
      return what switch {
        0 => stream.Length,
        1 => stream.Position,
        2 => stream.CanRead ? 1 : 0,
        3 => stream.CanWrite ? 1 : 0,
        _ => -1,
      };
    } catch {
      return -1;
    }
  }
}

}  // namespace Velisc.Runtime.Interop
