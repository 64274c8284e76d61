// Freeing the media-type records that the platform allocates.
#pragma once

#include "graph/platform.h"

// Frees the format block and the pUnk reference of a record, not the record.
void freeMediaTypeContents(AM_MEDIA_TYPE *type);
// Frees a record that the platform allocated, contents first; null is ignored.
void discardMediaType(AM_MEDIA_TYPE *type);
// The record's VIDEOINFOHEADER, or null when it carries none of full size.
VIDEOINFOHEADER *videoInfoHeader(const AM_MEDIA_TYPE *type);
