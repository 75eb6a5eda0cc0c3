#!/usr/bin/env python3
"""Writes data/service.json (and the installer placeholder) deterministically.

Run from anywhere: python3 peers/service/gen_service_data.py
"""
import json
import os

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
EXIT = "127.0.0.1:18090"

# iso, name, region, [(asn, isp)], [(state code, state name, [(city, postal)])]
COUNTRIES = [
    ("US", "United States", "us-west", [("AS7922", "Comcast"), ("AS7018", "AT&T"), ("AS701", "Verizon"), ("AS20115", "Charter")], [
        ("CA", "California", [("Los Angeles", "90001"), ("San Francisco", "94102"), ("San Diego", "92101")]),
        ("NY", "New York", [("New York", "10001"), ("Buffalo", "14201")]),
        ("TX", "Texas", [("Houston", "77001"), ("Dallas", "75201"), ("Austin", "73301")]),
        ("FL", "Florida", [("Miami", "33101"), ("Orlando", "32801")]),
        ("IL", "Illinois", [("Chicago", "60601")]),
        ("WA", "Washington", [("Seattle", "98101")])]),
    ("CA", "Canada", "us-east", [("AS812", "Rogers"), ("AS577", "Bell Canada"), ("AS6327", "Shaw")], [
        ("ON", "Ontario", [("Toronto", "M5H 2N2"), ("Ottawa", "K1P 1J1")]),
        ("QC", "Quebec", [("Montreal", "H2Y 1C6")]),
        ("BC", "British Columbia", [("Vancouver", "V6B 1A1")])]),
    ("MX", "Mexico", "us-west", [("AS8151", "Telmex"), ("AS28548", "Izzi")], [
        ("CMX", "Mexico City", [("Mexico City", "06000")]),
        ("JAL", "Jalisco", [("Guadalajara", "44100")]),
        ("NLE", "Nuevo Leon", [("Monterrey", "64000")])]),
    ("BR", "Brazil", "sa-east", [("AS28573", "Claro Brasil"), ("AS18881", "Vivo")], [
        ("SP", "Sao Paulo", [("Sao Paulo", "01000-000"), ("Campinas", "13010-000")]),
        ("RJ", "Rio de Janeiro", [("Rio de Janeiro", "20000-000")])]),
    ("AR", "Argentina", "sa-east", [("AS7303", "Telecom Argentina"), ("AS22927", "Telefonica de Argentina")], [
        ("C", "Buenos Aires City", [("Buenos Aires", "C1000")]),
        ("B", "Buenos Aires Province", [("La Plata", "B1900"), ("Mar del Plata", "B7600")])]),
    ("CL", "Chile", "sa-east", [("AS7418", "Telefonica Chile"), ("AS27651", "Entel Chile")], [
        ("RM", "Santiago Metropolitan", [("Santiago", "8320000")]),
        ("VS", "Valparaiso", [("Valparaiso", "2340000")])]),
    ("CO", "Colombia", "sa-east", [("AS10620", "Claro Colombia"), ("AS3816", "Movistar Colombia")], [
        ("DC", "Bogota", [("Bogota", "110111")]),
        ("ANT", "Antioquia", [("Medellin", "050001")])]),
    ("GB", "United Kingdom", "eu-west", [("AS2856", "BT"), ("AS5089", "Virgin Media"), ("AS5607", "Sky")], [
        ("ENG", "England", [("London", "EC1A 1BB"), ("Manchester", "M1 1AE"), ("Birmingham", "B1 1AA")]),
        ("SCT", "Scotland", [("Edinburgh", "EH1 1YZ"), ("Glasgow", "G1 1AA")]),
        ("WLS", "Wales", [("Cardiff", "CF10 1AA")])]),
    ("DE", "Germany", "eu-central", [("AS3320", "Deutsche Telekom"), ("AS3209", "Vodafone Germany"), ("AS6805", "Telefonica Germany")], [
        ("BE", "Berlin", [("Berlin", "10115")]),
        ("BY", "Bavaria", [("Munich", "80331"), ("Nuremberg", "90402")]),
        ("HE", "Hesse", [("Frankfurt", "60311")]),
        ("HH", "Hamburg", [("Hamburg", "20095")])]),
    ("FR", "France", "eu-west", [("AS3215", "Orange"), ("AS12322", "Free"), ("AS5410", "Bouygues Telecom")], [
        ("IDF", "Ile-de-France", [("Paris", "75001")]),
        ("ARA", "Auvergne-Rhone-Alpes", [("Lyon", "69001")]),
        ("PAC", "Provence-Alpes-Cote d'Azur", [("Marseille", "13001"), ("Nice", "06000")])]),
    ("NL", "Netherlands", "eu-west", [("AS1136", "KPN"), ("AS33915", "VodafoneZiggo")], [
        ("NH", "North Holland", [("Amsterdam", "1011")]),
        ("ZH", "South Holland", [("Rotterdam", "3011"), ("The Hague", "2511")])]),
    ("ES", "Spain", "eu-west", [("AS3352", "Telefonica de Espana"), ("AS12479", "Orange Espagne")], [
        ("MD", "Community of Madrid", [("Madrid", "28001")]),
        ("CT", "Catalonia", [("Barcelona", "08001")]),
        ("AN", "Andalusia", [("Seville", "41001")])]),
    ("IT", "Italy", "eu-central", [("AS3269", "Telecom Italia"), ("AS30722", "Vodafone Italia")], [
        ("LOM", "Lombardy", [("Milan", "20121")]),
        ("LAZ", "Lazio", [("Rome", "00118")]),
        ("CAM", "Campania", [("Naples", "80100")])]),
    ("PL", "Poland", "eu-central", [("AS5617", "Orange Polska"), ("AS12741", "Netia")], [
        ("MZ", "Masovia", [("Warsaw", "00-001")]),
        ("MA", "Lesser Poland", [("Krakow", "30-001")])]),
    ("SE", "Sweden", "eu-north", [("AS3301", "Telia"), ("AS1257", "Tele2")], [
        ("AB", "Stockholm County", [("Stockholm", "111 20")]),
        ("O", "Vastra Gotaland", [("Gothenburg", "411 01")])]),
    ("CH", "Switzerland", "eu-central", [("AS3303", "Swisscom"), ("AS6730", "Sunrise")], [
        ("ZH", "Zurich", [("Zurich", "8001")]),
        ("GE", "Geneva", [("Geneva", "1201")])]),
    ("IE", "Ireland", "eu-west", [("AS5466", "Eir"), ("AS6830", "Virgin Media Ireland")], [
        ("D", "Dublin", [("Dublin", "D01")]),
        ("CO", "Cork", [("Cork", "T12")])]),
    ("TR", "Turkey", "eu-central", [("AS9121", "Turk Telekom"), ("AS34984", "Superonline")], [
        ("34", "Istanbul", [("Istanbul", "34000")]),
        ("06", "Ankara", [("Ankara", "06000")])]),
    ("AE", "United Arab Emirates", "me-central", [("AS5384", "Etisalat"), ("AS15802", "du")], [
        ("DU", "Dubai", [("Dubai", "00000")]),
        ("AZ", "Abu Dhabi", [("Abu Dhabi", "00001")])]),
    ("SA", "Saudi Arabia", "me-central", [("AS25019", "Saudi Telecom"), ("AS35819", "Mobily")], [
        ("01", "Riyadh", [("Riyadh", "11564")]),
        ("02", "Makkah", [("Jeddah", "21577")])]),
    ("IN", "India", "ap-south", [("AS9829", "BSNL"), ("AS55836", "Reliance Jio"), ("AS24560", "Bharti Airtel")], [
        ("MH", "Maharashtra", [("Mumbai", "400001"), ("Pune", "411001")]),
        ("DL", "Delhi", [("New Delhi", "110001")]),
        ("KA", "Karnataka", [("Bengaluru", "560001")])]),
    ("JP", "Japan", "ap-northeast", [("AS4713", "NTT OCN"), ("AS2516", "KDDI"), ("AS17676", "SoftBank")], [
        ("13", "Tokyo", [("Tokyo", "100-0001")]),
        ("27", "Osaka", [("Osaka", "530-0001")]),
        ("23", "Aichi", [("Nagoya", "450-0002")])]),
    ("KR", "South Korea", "ap-northeast", [("AS4766", "Korea Telecom"), ("AS9318", "SK Broadband")], [
        ("11", "Seoul", [("Seoul", "04524")]),
        ("26", "Busan", [("Busan", "48058")])]),
    ("SG", "Singapore", "ap-southeast", [("AS7473", "Singtel"), ("AS4657", "StarHub")], [
        ("SG", "Singapore", [("Singapore", "018956")])]),
    ("HK", "Hong Kong", "ap-east", [("AS4760", "HKT"), ("AS9269", "HKBN")], [
        ("HKI", "Hong Kong Island", [("Central", "999077")]),
        ("KLN", "Kowloon", [("Mong Kok", "999077")])]),
    ("TW", "Taiwan", "ap-east", [("AS3462", "Chunghwa Telecom"), ("AS4780", "SeedNet")], [
        ("TPE", "Taipei", [("Taipei", "100")]),
        ("KHH", "Kaohsiung", [("Kaohsiung", "800")])]),
    ("AU", "Australia", "ap-southeast", [("AS1221", "Telstra"), ("AS4804", "Optus"), ("AS7545", "TPG")], [
        ("NSW", "New South Wales", [("Sydney", "2000"), ("Newcastle", "2300")]),
        ("VIC", "Victoria", [("Melbourne", "3000")]),
        ("QLD", "Queensland", [("Brisbane", "4000")])]),
    ("NZ", "New Zealand", "ap-southeast", [("AS4771", "Spark"), ("AS9790", "One NZ")], [
        ("AUK", "Auckland", [("Auckland", "1010")]),
        ("WGN", "Wellington", [("Wellington", "6011")])]),
    ("ID", "Indonesia", "ap-southeast", [("AS7713", "Telkom Indonesia"), ("AS4761", "Indosat")], [
        ("JK", "Jakarta", [("Jakarta", "10110")]),
        ("JB", "West Java", [("Bandung", "40111")])]),
    ("TH", "Thailand", "ap-southeast", [("AS7470", "True Internet"), ("AS45758", "3BB")], [
        ("10", "Bangkok", [("Bangkok", "10100")]),
        ("50", "Chiang Mai", [("Chiang Mai", "50000")])]),
    ("VN", "Vietnam", "ap-southeast", [("AS7552", "Viettel"), ("AS45899", "VNPT")], [
        ("HN", "Hanoi", [("Hanoi", "100000")]),
        ("SG", "Ho Chi Minh City", [("Ho Chi Minh City", "700000")])]),
    ("PH", "Philippines", "ap-southeast", [("AS9299", "PLDT"), ("AS132199", "Globe Telecom")], [
        ("NCR", "Metro Manila", [("Manila", "1000"), ("Quezon City", "1100")]),
        ("CEB", "Cebu", [("Cebu City", "6000")])]),
    ("ZA", "South Africa", "af-south", [("AS5713", "Telkom SA"), ("AS36994", "Vodacom")], [
        ("GP", "Gauteng", [("Johannesburg", "2001"), ("Pretoria", "0002")]),
        ("WC", "Western Cape", [("Cape Town", "8001")])]),
    ("EG", "Egypt", "me-central", [("AS8452", "Telecom Egypt"), ("AS24863", "Link Egypt")], [
        ("C", "Cairo", [("Cairo", "11511")]),
        ("ALX", "Alexandria", [("Alexandria", "21500")])]),
]

PLANS = [
    # plan, sn prefix, count, third octet of the exit IPs, plan type key
    ("S5", "S5", 240, 2, None),
    ("unlimit", "UL", 60, 3, "unlimit_standard_30d"),
    ("flow", "RT", 90, 4, "resi_traffic_standard"),
]


def slug(name):
    return "".join(c.lower() if c.isalnum() else "-" for c in name).strip("-")


def areas():
    out = []
    for iso, name, _region, _isps, states in COUNTRIES:
        out.append({"code": iso, "name": name, "state_list": [
            {"code": code, "name": sname, "city_list": [{"code": slug(city), "name": city} for city, _ in cities]}
            for code, sname, cities in states]})
    return out


def places():
    """Every (country, state, city) in a fixed interleaved order, so each plan spans many countries."""
    per_country = []
    for country in COUNTRIES:
        per_country.append([(country, state, city) for state in country[4] for city in state[2]])
    out = []
    depth = max(len(p) for p in per_country)
    for i in range(depth):
        for p in per_country:
            if i < len(p):
                out.append(p[i])
    return out


def lines():
    out = []
    spots = places()
    line_id = 1
    for plan, prefix, count, octet, key in PLANS:
        for i in range(count):
            (iso, cname, region, isps, _), (scode, sname, _), (city, postal) = spots[(i * 7 + octet) % len(spots)]
            asn, isp = isps[i % len(isps)]
            line = {
                "id": line_id, "plan": plan, "sn": f"SN-{prefix}-{line_id:05d}", "ip": f"127.0.{octet}.{i + 1}",
                "server": EXIT, "iso": iso, "country": cname, "state": sname, "city": city, "postal": postal,
                "isp": isp, "asn": asn, "server_region": region, "status": "Online",
            }
            if key:
                line["plan_type_key"] = key
            out.append(line)
            line_id += 1
    return out


def main():
    data = {
        "accounts": [
            {"uid": 10001, "username": "demo", "password": "demo123", "email": "demo@example.com",
             "server": "127.0.0.1", "ip_nums": 1000, "expire_time": 4102444800,
             "flow": {"balance": 50_000_000_000, "all_buy": 100_000_000_000, "expire_time": 4102444800}},
            {"uid": 10002, "username": "trial", "password": "trial123", "email": "trial@example.com",
             "server": "127.0.0.1", "ip_nums": 2, "expire_time": 1700000000,
             "flow": {"balance": 0, "all_buy": 1_000_000_000, "expire_time": 1700000000}},
        ],
        "areas": areas(),
        "lines": lines(),
        "packages": [{"num": n, "limit_sale_price": sale, "money": money} for n, sale, money in [
            (1, "3", "5"), (5, "14", "20"), (10, "25", "30"), (20, "45", "60"), (50, "100", "150"),
            (100, "180", "300"), (200, "320", "600"), (500, "700", "1500"), (1000, "1200", "3000")]],
        "update": {"version": 208, "show_version": "2.0.8", "force_update": "false",
                   "desc": "Faster line lists and smaller fixes.", "file": "update/ZQ_S5_Proxy_setup.exe",
                   "download_name": "ZQ_S5_Proxy_setup.exe"},
        "config": {"notice": "Welcome to the local stand-in service.", "min_version": "200",
                   "support_email": "support@example.com"},
    }
    path = os.path.join(ROOT, "data", "service.json")
    with open(path, "w", encoding="utf-8") as f:
        json.dump(data, f, ensure_ascii=False, indent=1)
        f.write("\n")
    installer = os.path.join(ROOT, "data", "update", "ZQ_S5_Proxy_setup.exe")
    os.makedirs(os.path.dirname(installer), exist_ok=True)
    with open(installer, "w", encoding="ascii") as f:
        for i in range(1024):
            f.write(f"placeholder installer for version 2.0.8, block {i:04d} ".ljust(63, ".") + "\n")
    print(f"wrote {path} ({len(data['lines'])} lines, {len(COUNTRIES)} countries) and {installer}")


if __name__ == "__main__":
    main()
