// The COM vocabulary the component speaks at its boundary. The definitions are part of the public
// interface and live in <vokquote/com.h>; the component includes them from here.
#pragma once

#include <vokquote/com.h>
