#!/usr/bin/env python3
"""Proxy that refuses every request, CONNECT included, with 407 Proxy Authentication Required.

Credentials make no difference. It records what it receives like the scripted server: a
direct (origin-form) GET /__requests is the one request it answers otherwise.
Options as for scripted_server.py.
"""

import os
import sys

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import scripted_server  # noqa: E402


class Refuser(scripted_server.Handler):
    def route(self, req):
        if req.target.split("?", 1)[0] == "/__requests":
            return self.requests(req)
        self.send_simple(407, b"407 proxy authentication required\n",
                         ['Proxy-Authenticate: Basic realm="p"'])


if __name__ == "__main__":
    scripted_server.main(handler_class=Refuser, description=__doc__.splitlines()[0],
                         default_port=18890)
