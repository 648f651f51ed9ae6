#!/usr/bin/env python3
"""Serves a folder on 127.0.0.1 for the browser check (browser.sh).

Usage: serve.py FOLDER RESULT_FILE WAIT_SECONDS

Prints "PORT n" once listening on a free port.  Besides the folder's files it has
  GET  /gate     held open until the page posts to /release (or WAIT_SECONDS pass), then a
                 1x1 GIF: an <img> on it keeps the page's load event back until the page
                 has finished, so that Chromium's --dump-dom shows the finished page;
  POST /release  the page's result text, written to RESULT_FILE; lets /gate answer.
Range requests are answered with 206 and the asked-for bytes, as a web server would for video.
"""
import http.server
import os
import re
import sys
import threading

folder, result_file, wait_seconds = sys.argv[1], sys.argv[2], float(sys.argv[3])
released = threading.Event()
PIXEL = (b'GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff!\xf9\x04\x01\x00\x00\x00\x00'
         b',\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02D\x01\x00;')


class Handler(http.server.SimpleHTTPRequestHandler):
    def __init__(self, *args, **kwargs):
        super().__init__(*args, directory=folder, **kwargs)

    def log_message(self, format, *args):
        sys.stderr.write('%s %s\n' % (self.log_date_time_string(), format % args))

    def end_headers(self):
        self.send_header('Cache-Control', 'no-store')
        super().end_headers()

    def do_GET(self):
        if self.path.split('?')[0] == '/gate':
            released.wait(wait_seconds)
            self.send_response(200)
            self.send_header('Content-Type', 'image/gif')
            self.send_header('Content-Length', str(len(PIXEL)))
            self.end_headers()
            self.wfile.write(PIXEL)
            return
        match = re.fullmatch(r'bytes=(\d*)-(\d*)', self.headers.get('Range', ''))
        path = self.translate_path(self.path)
        if not match or not os.path.isfile(path) or match.group(1) == '':
            super().do_GET()
            return
        size = os.path.getsize(path)
        first = int(match.group(1))
        last = min(int(match.group(2)), size - 1) if match.group(2) else size - 1
        if first >= size or first > last:
            self.send_response(416)
            self.send_header('Content-Range', 'bytes */%d' % size)
            self.send_header('Content-Length', '0')
            self.end_headers()
            return
        with open(path, 'rb') as f:
            f.seek(first)
            body = f.read(last - first + 1)
        self.send_response(206)
        self.send_header('Content-Type', self.guess_type(path))
        self.send_header('Accept-Ranges', 'bytes')
        self.send_header('Content-Range', 'bytes %d-%d/%d' % (first, last, size))
        self.send_header('Content-Length', str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_POST(self):
        if self.path.split('?')[0] != '/release':
            self.send_error(404)
            return
        body = self.rfile.read(int(self.headers.get('Content-Length', '0')))
        with open(result_file, 'wb') as f:
            f.write(body)
        released.set()
        self.send_response(204)
        self.end_headers()


server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), Handler)
server.daemon_threads = True
print('PORT %d' % server.server_address[1], flush=True)
server.serve_forever()
