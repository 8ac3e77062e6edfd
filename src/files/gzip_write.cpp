// The gzip writer: one deflate pass over the whole input into a buffer zlib says is enough.
#include "files/gzip.h"

#include <zlib.h>

std::string gzip_bytes(const std::string& bytes, const gzip_header_fields* fields) {
    z_stream z{};
    // Window bits 15 + 16: zlib writes the gzip wrapper (header, CRC and length trailer).
    if (deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) return "";
    // zlib reads the header fields while it deflates, so they live as long as the stream.
    gz_header header{};
    std::string extra, name, comment;
    if (fields) {
        extra = fields->extra;
        name = fields->name;
        comment = fields->comment;
        if (!extra.empty()) {
            header.extra = reinterpret_cast<Bytef*>(extra.data());
            header.extra_len = static_cast<uInt>(extra.size());
        }
        if (!name.empty()) header.name = reinterpret_cast<Bytef*>(name.data());
        if (!comment.empty()) header.comment = reinterpret_cast<Bytef*>(comment.data());
        header.hcrc = fields->header_crc ? 1 : 0;
        if (deflateSetHeader(&z, &header) != Z_OK) {
            deflateEnd(&z);
            return "";
        }
    }
    // The bound counts the header fields set above.
    std::string out(deflateBound(&z, bytes.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    z.avail_in = static_cast<uInt>(bytes.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    int result = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return result == Z_STREAM_END ? out : "";
}
