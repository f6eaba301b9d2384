// Marks a function as an export of a deliverable or of the stand-in host:
// C linkage and default visibility (everything else is hidden). The
// library's version script lists the same names.
#ifndef QG_SUPPORT_FRAME_EXPORT_H_
#define QG_SUPPORT_FRAME_EXPORT_H_

#define QG_EXPORT extern "C" __attribute__((visibility("default")))

#endif  // QG_SUPPORT_FRAME_EXPORT_H_
