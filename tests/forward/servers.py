"""InfluxDB 1.x and Mosquitto started on 127.0.0.1 with free ports in a
temporary folder, for the forwarding tests and benchmark; stopped at exit."""
import json
import os
import socket
import subprocess
import tempfile
import time
import urllib.parse
import urllib.request


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_until(condition, what, limit=30):
    deadline = time.monotonic() + limit
    while not condition():
        if time.monotonic() > deadline:
            raise RuntimeError(f"gave up waiting for {what}")
        time.sleep(0.05)


class Influx:
    """influxd with HTTP only: every other service and port off."""

    def __init__(self, folder):
        self.folder = os.path.join(folder, "influx")
        self.port = free_port()
        self.url = f"http://127.0.0.1:{self.port}"
        self.config = os.path.join(self.folder, "influxd.conf")
        os.makedirs(self.folder)
        with open(self.config, "w") as f:
            f.write(f"""reporting-disabled = true
bind-address = "127.0.0.1:{free_port()}"
[meta]
  dir = "{self.folder}/meta"
  logging-enabled = false
[data]
  dir = "{self.folder}/data"
  wal-dir = "{self.folder}/wal"
  query-log-enabled = false
[retention]
  enabled = false
[shard-precreation]
  enabled = false
[monitor]
  store-enabled = false
[http]
  enabled = true
  bind-address = "127.0.0.1:{self.port}"
  log-enabled = false
[continuous_queries]
  enabled = false
[subscriber]
  enabled = false
""")
        self.process = None
        self.start()

    def start(self):
        self.process = subprocess.Popen(["influxd", "-config", self.config], stdout=subprocess.DEVNULL,
                                        stderr=open(os.path.join(self.folder, "influxd.log"), "a"))
        wait_until(self.ping, "influxd")

    def stop(self):
        if self.process:
            self.process.terminate()
            self.process.wait(30)
            self.process = None

    def ping(self):
        try:
            return urllib.request.urlopen(self.url + "/ping", timeout=1).status == 204
        except OSError:
            return False

    def query(self, q, db=None):
        params = {"q": q}
        if db:
            params["db"] = db
        data = urllib.parse.urlencode(params).encode()
        with urllib.request.urlopen(self.url + "/query", data=data, timeout=10) as answer:
            return json.load(answer)["results"][0]

    def create(self, db):
        self.query(f'CREATE DATABASE "{db}"')
        return f"{self.url}/write?db={db}"

    def seqs(self, db):
        """{meter: [seq, ...]} in time order, every point stored."""
        result = self.query("SELECT seq FROM dmmpanel GROUP BY meter", db)
        return {s["tags"]["meter"]: [v[1] for v in s["values"]] for s in result.get("series", [])}


class Mosquitto:
    def __init__(self, folder):
        self.port = free_port()
        self.url = f"mqtt://127.0.0.1:{self.port}"
        self.config = os.path.join(folder, "mosquitto.conf")
        with open(self.config, "w") as f:
            f.write(f"listener {self.port} 127.0.0.1\nallow_anonymous true\npersistence false\n")
        self.process = subprocess.Popen(["mosquitto", "-c", self.config], stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        wait_until(self.listening, "mosquitto")

    def listening(self):
        try:
            socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
            return True
        except OSError:
            return False

    def stop(self):
        self.process.terminate()
        self.process.wait(30)


class Subscriber:
    """mosquitto_sub on `prefix/#`, its lines ("topic payload") in a file."""

    def __init__(self, broker, prefix, folder):
        self.path = os.path.join(folder, prefix.replace("/", "_") + ".sub")
        self.process = subprocess.Popen(
            ["mosquitto_sub", "-h", "127.0.0.1", "-p", str(broker.port), "-q", "1", "-v", "-t", prefix + "/#"],
            stdout=open(self.path, "w"))
        # Subscribed once a message of its own comes back.
        probe = ["mosquitto_pub", "-h", "127.0.0.1", "-p", str(broker.port), "-t", prefix + "/probe", "-m", "x"]
        wait_until(lambda: subprocess.run(probe).returncode == 0 and "/probe x" in self.text(), "mosquitto_sub")

    def text(self):
        with open(self.path) as f:
            return f.read()

    def messages(self, subtopic):
        return [line.split(" ", 1)[1] for line in self.text().splitlines() if line.split(" ", 1)[0].endswith(subtopic)]

    def stop(self, until=lambda: True, limit=30):
        """Ends mosquitto_sub once `until()` holds, or after `limit` seconds: the broker passes a message
        on after it has told its publisher that it took it, so a publisher that has ended may still have
        messages on their way here. SIGKILL, as mosquitto_sub's SIGTERM handler can hang on a lock held by
        the loop it interrupted; each message is in the file once received, as each line is flushed."""
        deadline = time.monotonic() + limit
        while not until() and time.monotonic() < deadline:
            time.sleep(0.05)
        self.process.kill()
        self.process.wait(10)


class Servers:
    def __enter__(self):
        self.temp = tempfile.TemporaryDirectory()
        self.folder = self.temp.name
        self.influx = Influx(self.folder)
        self.broker = Mosquitto(self.folder)
        return self

    def __exit__(self, *exc):
        self.influx.stop()
        self.broker.stop()
        self.temp.cleanup()
